#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A profile (INI) file. Sections and keys match without regard to (ASCII)
// case. The file is held as its bytes: every line the program does not
// change is written back exactly as it was, whatever its encoding and line
// end; values are read and written as UTF-8, new lines end in CR LF.
// Writes change the copy in memory; UpdateFile() (or the destructor) saves
// them all at once, atomically.
class TIniFile {
public:
    // A program's settings never come near this; a larger file is not read.
    static constexpr qint64 kMaxSize = qint64(1) << 20;

    explicit TIniFile(const QString& fileName);
    // Saves pending changes; a failure is not reported (call UpdateFile).
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const QString& FileName() const { return fileName_; }
    // Why an existing file was not read (too large, not a file, unreadable),
    // or empty. Such a file reads as empty and is never written.
    const QString& LoadProblem() const { return problem_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // A missing key or a value that is not an integer gives def.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // True for any non-zero integer.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool ValueExists(const QString& section, const QString& key) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // What the file holds of one key, taken before a WriteString so that
    // RestoreKey can undo it byte for byte.
    struct TKeySnapshot {
        QByteArray line; // the key's line with its line end; empty: no key
        bool sectionExisted = false;
        qsizetype lineCount = 0;
        QByteArray unendedLastLine; // the file's last line when it had no line end
    };
    TKeySnapshot Snapshot(const QString& section, const QString& key) const;
    // Undoes a WriteString of the key made after `before` was taken: puts its
    // line back, or removes it together with a section and a final line end
    // that WriteString added. Lines written since by others stay.
    void RestoreKey(const QString& section, const QString& key, const TKeySnapshot& before);

    // Writes the changes, if any; TripError "Unable to write to <file>. <reason>".
    void UpdateFile();

private:
    int FindSection(const QByteArray& section) const;
    int FindKey(int sectionLine, const QByteArray& key) const;
    QByteArray Content(int line) const;
    void EndLastLine();

    QString fileName_;
    QString problem_;
    QList<QByteArray> lines_; // each with its own line end; the last may have none
    bool dirty_ = false;
};
