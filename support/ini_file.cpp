#include "support/ini_file.h"

#include "support/conversions.h"
#include "support/errors.h"
#include "support/file_io.h"

namespace {

bool SameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool IsSection(const QByteArray& line, QByteArray* name = nullptr) {
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return false;
    const qsizetype end = t.indexOf(']');
    if (end < 0)
        return false;
    if (name)
        *name = t.mid(1, end - 1).trimmed();
    return true;
}

bool IsKey(const QByteArray& line, QByteArray* key = nullptr, QByteArray* value = nullptr) {
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';'))
        return false;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    if (key)
        *key = line.left(eq).trimmed();
    if (value)
        *value = line.mid(eq + 1).trimmed();
    return true;
}

QByteArray LineEnd(const QByteArray& line) {
    return line.endsWith("\r\n") ? QByteArray("\r\n")
           : line.endsWith('\n') ? QByteArray("\n")
                                 : QByteArray();
}

} // namespace

TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {
    if (!FileExists(fileName))
        return; // a missing file reads as empty
    QByteArray data;
    try {
        data = ReadWholeFile(fileName, kMaxSize);
    } catch (const TripError& e) {
        problem_ = e.message() + QStringLiteral(" The settings kept between runs were not read; "
                                                "the program starts with its defaults and leaves "
                                                "the file as it is.");
        return;
    }
    for (qsizetype at = 0; at < data.size();) {
        const qsizetype nl = data.indexOf('\n', at);
        const qsizetype end = nl < 0 ? data.size() : nl + 1;
        lines_.append(data.mid(at, end - at));
        at = end;
    }
}

TIniFile::~TIniFile() {
    try {
        UpdateFile();
    } catch (const TripError&) {
    }
}

// A line without its line end (and without a byte order mark on the first).
QByteArray TIniFile::Content(int line) const {
    QByteArray t = lines_[line];
    t.chop(LineEnd(t).size());
    if (line == 0 && t.startsWith("\xEF\xBB\xBF"))
        t.remove(0, 3);
    return t;
}

int TIniFile::FindSection(const QByteArray& section) const {
    QByteArray name;
    for (int i = 0; i < lines_.size(); ++i)
        if (IsSection(Content(i), &name) && SameName(name, section))
            return i;
    return -1;
}

int TIniFile::FindKey(int sectionLine, const QByteArray& key) const {
    QByteArray k;
    for (int i = sectionLine + 1; i < lines_.size(); ++i) {
        const QByteArray line = Content(i);
        if (IsSection(line))
            break;
        if (IsKey(line, &k) && SameName(k, key))
            return i;
    }
    return -1;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    const int s = FindSection(section.toUtf8());
    return s >= 0 && FindKey(s, key.toUtf8()) >= 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const int s = FindSection(section.toUtf8());
    const int k = s < 0 ? -1 : FindKey(s, key.toUtf8());
    if (k < 0)
        return def;
    QByteArray value;
    IsKey(Content(k), nullptr, &value);
    return QString::fromUtf8(value);
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

// So that a line can follow the last one.
void TIniFile::EndLastLine() {
    if (!lines_.isEmpty() && LineEnd(lines_.last()).isEmpty())
        lines_.last() += "\r\n";
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QByteArray sectionName = section.toUtf8(), keyName = key.toUtf8();
    const QByteArray line = keyName + '=' + value.toUtf8();
    const int s = FindSection(sectionName);
    if (s < 0) {
        EndLastLine();
        lines_ << '[' + sectionName + "]\r\n" << line + "\r\n";
    } else if (const int k = FindKey(s, keyName); k >= 0) {
        QByteArray old;
        IsKey(Content(k), nullptr, &old);
        if (old == value.toUtf8())
            return; // the line stays as it is written
        lines_[k] = line + LineEnd(lines_[k]);
    } else {
        // After the section's last key, before any blank lines that close it.
        int at = s + 1;
        for (int i = s + 1; i < lines_.size() && !IsSection(Content(i)); ++i)
            if (!Content(i).trimmed().isEmpty())
                at = i + 1;
        if (at == lines_.size())
            EndLastLine();
        lines_.insert(at, line + "\r\n");
    }
    dirty_ = true;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

TIniFile::TKeySnapshot TIniFile::Snapshot(const QString& section, const QString& key) const {
    TKeySnapshot s;
    const int sectionLine = FindSection(section.toUtf8());
    s.sectionExisted = sectionLine >= 0;
    if (const int k = sectionLine < 0 ? -1 : FindKey(sectionLine, key.toUtf8()); k >= 0)
        s.line = lines_[k];
    s.lineCount = lines_.size();
    if (!lines_.isEmpty() && LineEnd(lines_.last()).isEmpty())
        s.unendedLastLine = lines_.last();
    return s;
}

void TIniFile::RestoreKey(const QString& section, const QString& key, const TKeySnapshot& before) {
    const int s = FindSection(section.toUtf8());
    const int k = s < 0 ? -1 : FindKey(s, key.toUtf8());
    if (k < 0)
        return;
    if (!before.line.isEmpty()) {
        QByteArray line = before.line;
        // It was the last line; now another follows it.
        if (LineEnd(line).isEmpty() && k + 1 < lines_.size())
            line += "\r\n";
        if (lines_[k] != line) {
            lines_[k] = line;
            dirty_ = true;
        }
        return;
    }
    lines_.removeAt(k);
    if (!before.sectionExisted && (s + 1 == lines_.size() || IsSection(Content(s + 1))))
        lines_.removeAt(s);
    if (!before.unendedLastLine.isEmpty() && lines_.size() == before.lineCount &&
        lines_.last() == before.unendedLastLine + "\r\n")
        lines_.last() = before.unendedLastLine;
    dirty_ = true;
}

void TIniFile::UpdateFile() {
    // A file that was not read is not replaced by what little is known of it.
    if (!dirty_ || !problem_.isEmpty())
        return;
    QByteArray out;
    for (const QByteArray& l : lines_)
        out += l;
    try {
        WriteWholeFile(fileName_, out);
    } catch (const FileError& e) {
        throw TripError(QStringLiteral("Unable to write to %1. %2").arg(fileName_, e.reason()));
    }
    dirty_ = false;
}
