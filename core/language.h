#pragma once

#include <QString>

// The language a text is shown in; the caller chooses it. The main window
// follows its language flag, the command-line tool speaks English.
enum class TLanguage { Russian, English };

inline QString Lang(TLanguage language, const char* russian, const char* english) {
    return QString::fromUtf8(language == TLanguage::English ? english : russian);
}
