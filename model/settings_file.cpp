#include "model/settings_file.h"

#include "model/key_table.h"
#include "model/mk.h"
#include "support/endian.h"
#include "support/errors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray ReadWholeFile(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        throw TripError(QStringLiteral("Cannot open file \"%1\". %2").arg(name, f.errorString()));
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw TripError(QStringLiteral("Cannot read file \"%1\". %2").arg(name, f.errorString()));
    return data;
}

namespace {

[[noreturn]] void ThrowWriteError(const char* what, const QString& name, int err) {
    throw TripError(QStringLiteral("%1 \"%2\". %3")
                        .arg(QString::fromLatin1(what), name,
                             QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace

// Written to a temporary file beside the target and renamed over it only when
// every byte is on disk. QSaveFile is not used: it reports success after a
// short write (seen with a file size limit), which would truncate the file.
void WriteWholeFile(const QString& name, const QByteArray& content) {
    QString target = name;
    const QFileInfo info(name);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QByteArray path = QFile::encodeName(target);
    QByteArray tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        ThrowWriteError("Cannot create file", name, errno);

    auto fail = [&](const char* what, int err) {
        ::close(fd);
        ::unlink(tmp.constData());
        ThrowWriteError(what, name, err);
    };
    struct stat st;
    mode_t mode;
    if (::stat(path.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        fail("Cannot create file", errno);
    const char* p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write file", errno);
        }
        if (n == 0)
            fail("Cannot write file", EIO);
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        fail("Cannot write file", errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        ThrowWriteError("Cannot write file", name, err);
    }
    if (::rename(tmp.constData(), path.constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        ThrowWriteError("Cannot create file", name, err);
    }
}

void ScrambleImage(QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(uint8_t(bytes[i]) ^ kSettingsKey[size_t(i % 4096)]);
}

void SaveSettingsFile(const TMK& mk, const QString& name) {
    QByteArray image = mk.Image;
    ScrambleImage(image);
    QByteArray out(2, '\0');
    PutLE16(reinterpret_cast<uint8_t*>(out.data()), mk.Version);
    out += image;
    WriteWholeFile(name, out);
}

void LoadSettingsFile(TMK& mk, const QString& name) {
    const QByteArray data = ReadWholeFile(name);
    // A short file replaces only the version bytes it holds.
    uint8_t version[2];
    PutLE16(version, mk.Version);
    for (int i = 0; i < 2 && i < data.size(); ++i)
        version[i] = uint8_t(data[i]);
    mk.Version = GetLE16(version);

    QByteArray image = data.mid(2);
    ScrambleImage(image);
    // Overwrites from the start; a longer image keeps its tail.
    if (mk.Image.size() < image.size())
        mk.Image.resize(image.size());
    mk.Image.replace(0, image.size(), image);
    mk.UnpackSettings();
}

void SaveTankFile(const TMK& mk, const QString& name) {
    const auto& s = mk.Settings;
    QByteArray out(8, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    PutLE16(p + 0, s.Oil6L);
    PutLE16(p + 2, s.Lit6L);
    PutLE16(p + 4, s.Oil43L);
    PutLE16(p + 6, s.Lit43L);
    WriteWholeFile(name, out);
}

void LoadTankFile(TMK& mk, const QString& name) {
    const QByteArray data = ReadWholeFile(name);
    // Same bytes as record offsets 0x40..0x47; a short file fills as far as it goes.
    auto bytes = mk.Settings.ToBytes();
    for (int i = 0; i < 8 && i < data.size(); ++i)
        bytes[size_t(0x40 + i)] = uint8_t(data[i]);
    mk.Settings = TSettingsRecord::FromBytes(bytes);
}
