#include "support/ini_file.h"

#include "support/conversions.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QFile>

namespace {

bool IsSection(const QString& line, QString* name = nullptr) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype end = t.indexOf(QLatin1Char(']'));
    if (end < 0)
        return false;
    if (name)
        *name = t.mid(1, end - 1).trimmed();
    return true;
}

bool IsKey(const QString& line, QString* key = nullptr, QString* value = nullptr) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
        return false;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    if (key)
        *key = line.left(eq).trimmed();
    if (value)
        *value = line.mid(eq + 1).trimmed();
    return true;
}

} // namespace

TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return; // a missing file reads as empty
    QString text = QString::fromUtf8(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines_ = text.split(QLatin1Char('\n'));
    if (!lines_.isEmpty() && lines_.last().isEmpty())
        lines_.removeLast();
}

int TIniFile::FindSection(const QString& section) const {
    QString name;
    for (int i = 0; i < lines_.size(); ++i)
        if (IsSection(lines_[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int TIniFile::FindKey(int sectionLine, const QString& key) const {
    QString k;
    for (int i = sectionLine + 1; i < lines_.size() && !IsSection(lines_[i]); ++i)
        if (IsKey(lines_[i], &k) && k.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    const int s = FindSection(section);
    return s >= 0 && FindKey(s, key) >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const int s = FindSection(section);
    const int k = s < 0 ? -1 : FindKey(s, key);
    if (k < 0)
        return def;
    QString value;
    IsKey(lines_[k], nullptr, &value);
    return value;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    const QString s = ReadString(section, key, QString());
    if (s.isEmpty())
        return def;
    try {
        return StrToInt(s);
    } catch (const TripError&) {
        return def;
    }
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString line = key + QLatin1Char('=') + value;
    int s = FindSection(section);
    if (s < 0) {
        lines_ << QLatin1Char('[') + section + QLatin1Char(']') << line;
    } else if (int k = FindKey(s, key); k >= 0) {
        lines_[k] = line;
    } else {
        // After the section's last key, before any blank lines that close it.
        int at = s + 1;
        for (int i = s + 1; i < lines_.size() && !IsSection(lines_[i]); ++i)
            if (!lines_[i].trimmed().isEmpty())
                at = i + 1;
        lines_.insert(at, line);
    }
    Save();
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::Save() {
    QByteArray out;
    for (const QString& l : lines_)
        out += l.toUtf8() + "\r\n";
    try {
        WriteWholeFile(fileName_, out);
    } catch (const TripError&) {
        throw TripError(QStringLiteral("Unable to write to %1").arg(fileName_));
    }
}
