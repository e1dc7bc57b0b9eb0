#include "core/backups.h"

#include "model/mk.h"
#include "model/settings_file.h"
#include "model/settings_format.h"
#include "model/settings_record.h"
#include "support/file_io.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace {

const char* const kTimeFormat = "yyyy-MM-dd_HH-mm-ss";

// "2026-12-09_14-03-27_COM3_v3.tarvg", maybe with "-2" before the extension.
const QRegularExpression& NamePattern() {
    static const QRegularExpression re(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d)_(.+)_v(\d+)(?:-(\d+))?\.tarvg$)"));
    return re;
}

QString PortForFileName(const QString& port) {
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
        .arg(time.toString(QString::fromLatin1(kTimeFormat)), PortForFileName(port))
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
    // Each entry with the n of its "-n" (1 without): of two saved in one
    // second, the one with the higher n came later.
    std::vector<std::pair<TBackupEntry, int>> found;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.tarvg")}, QDir::Files | QDir::System);
    for (const QFileInfo& info : files) {
        TBackupEntry e;
        int copy = 1;
        e.path = info.filePath();
        e.time = info.lastModified();
        if (const auto m = NamePattern().match(info.fileName()); m.hasMatch()) {
            const QDateTime named =
                QDateTime::fromString(m.captured(1), QString::fromLatin1(kTimeFormat));
            if (named.isValid())
                e.time = named;
            e.port = m.captured(2);
            if (m.hasCaptured(4))
                copy = m.captured(4).toInt();
        }
        try {
            const QByteArray data = ReadWholeFile(e.path);
            if (const TSettingsFileExtent held = SettingsFileExtent(data); !held.Whole())
                throw TripError(QStringLiteral("holds %1 of the %2 bytes of a settings file's "
                                               "version and record")
                                    .arg(held.fileBytes)
                                    .arg(kWholeSettingsSize));
            TMK mk;
            LoadSettingsData(mk, data);
            e.version = mk.Version;
            e.image = mk.Image;
        } catch (const FileError& err) {
            e.problem = err.reason().isEmpty() ? ExceptionMessage(err) : err.reason();
        } catch (const std::exception& err) {
            e.problem = ExceptionMessage(err);
        }
        found.emplace_back(e, copy);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first.time != b.first.time)
            return a.first.time > b.first.time;
        return a.second != b.second ? a.second > b.second : a.first.path > b.first.path;
    });
    QList<TBackupEntry> out;
    for (auto& f : found)
        out.append(std::move(f.first));
    return out;
}
