#include "core/backups.h"

#include "model/mk.h"
#include "model/settings_file.h"
#include "model/settings_record.h"
#include "support/file_io.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

const char* const kTimeFormat = "yyyy-MM-dd_HH-mm-ss";

// "2026-12-09_14-03-27_COM3_v3.tarvg", maybe with "-2" before the extension.
const QRegularExpression& NamePattern() {
    static const QRegularExpression re(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d)_(.+)_v(\d+)(?:-\d+)?\.tarvg$)"));
    return re;
}

QString PortPart(const QString& port) {
    QString name = port.section(QLatin1Char('/'), -1);
    for (QChar& c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') &&
            c != QLatin1Char('-'))
            c = QLatin1Char('-');
    return name.isEmpty() ? QStringLiteral("port") : name;
}

} // namespace

QString BackupFolder() {
    // Qt's generic data location is $XDG_DATA_HOME, else ~/.local/share.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tripconf/backups");
}

QString BackupFileName(const QDateTime& time, const QString& port, uint16_t version) {
    return QStringLiteral("%1_%2_v%3.tarvg")
        .arg(time.toString(QString::fromLatin1(kTimeFormat)), PortPart(port))
        .arg(version);
}

QString SaveBackup(const QString& folder, const QString& port, uint16_t version,
                   const QByteArray& image, const QDateTime& time) {
    // std::filesystem, unlike QDir::mkpath, tells why a folder cannot be made.
    std::error_code ec;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(folder).toStdString()), ec);
    if (ec) {
        const QString reason = QString::fromLocal8Bit(ec.message().c_str());
        throw FileError(
            QStringLiteral("The backups folder %1 cannot be made: %2").arg(folder, reason), reason);
    }
    const QString base = BackupFileName(time, port, version);
    QString path = QDir(folder).filePath(base);
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = QDir(folder).filePath(base.chopped(6) + QStringLiteral("-%1.tarvg").arg(n));
    TMK mk;
    mk.Version = version;
    mk.Image = image;
    WriteWholeFile(path, SettingsFileData(mk));
    return path;
}

QList<TBackupEntry> ListBackups(const QString& folder) {
    QList<TBackupEntry> out;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.tarvg")}, QDir::Files | QDir::System);
    for (const QFileInfo& info : files) {
        TBackupEntry e;
        e.path = info.filePath();
        e.time = info.lastModified();
        if (const auto m = NamePattern().match(info.fileName()); m.hasMatch()) {
            const QDateTime named =
                QDateTime::fromString(m.captured(1), QString::fromLatin1(kTimeFormat));
            if (named.isValid())
                e.time = named;
            e.port = m.captured(2);
        }
        try {
            const QByteArray data = ReadWholeFile(e.path);
            if (data.size() < 2 + TSettingsRecord::kSize)
                throw TripError(QStringLiteral("holds %1 of the %2 bytes of a settings file's "
                                               "version and record")
                                    .arg(data.size())
                                    .arg(2 + TSettingsRecord::kSize));
            TMK mk;
            LoadSettingsData(mk, data);
            e.version = mk.Version;
            e.image = mk.Image;
        } catch (const FileError& err) {
            e.problem = err.reason().isEmpty() ? ExceptionMessage(err) : err.reason();
        } catch (const std::exception& err) {
            e.problem = ExceptionMessage(err);
        }
        out.append(e);
    }
    std::stable_sort(out.begin(), out.end(), [](const TBackupEntry& a, const TBackupEntry& b) {
        if (a.time != b.time)
            return a.time > b.time;
        // Names tell seconds only; two saves within one are told apart by the file.
        const QDateTime ma = QFileInfo(a.path).lastModified(),
                        mb = QFileInfo(b.path).lastModified();
        return ma != mb ? ma > mb : a.path > b.path;
    });
    return out;
}
