#pragma once

#include <QString>
#include <QStringList>

// A profile (INI) file read and written key by key: sections and keys match
// without regard to case, other lines are kept as they are, and every write
// goes to disk at once (atomically) with CR LF line ends.
class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // A missing key or a value that is not an integer gives def.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // True for any non-zero integer.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool ValueExists(const QString& section, const QString& key) const;

    // Raise TripError "Unable to write to <file>" when the file cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

private:
    int FindSection(const QString& section) const;
    int FindKey(int sectionLine, const QString& key) const;
    void Save();

    QString fileName_;
    QStringList lines_;
};
