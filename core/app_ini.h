#pragma once

#include "support/ini_file.h"

#include <QString>

// The application's own INI file: named after the executable with ".ini",
// beside it when it can be written there (the file itself, or the folder for
// a new one); otherwise (an installed program) the same name in the user's
// configuration folder. Created holding one blank and CR LF when missing.
class TMIniFile : public TIniFile {
public:
    TMIniFile();
    explicit TMIniFile(const QString& fileName);

    // Where the file lives for this executable, or for the program of
    // another base name (the command-line tool reads the window's file).
    static QString DefaultFileName(const QString& baseName = {});
    // The same for a program in programFolder.
    static QString FileNameFor(const QString& programFolder, const QString& baseName);
};
