#pragma once

#include "core/language.h"

class NotSettingsFileError;

// Program-wide language of the main window and its own messages.
extern bool English;

inline TLanguage WindowLanguage() {
    return English ? TLanguage::English : TLanguage::Russian;
}

// The window's text in its current language, chosen at the moment it is shown.
inline QString Lang(const char* russian, const char* english) {
    return Lang(WindowLanguage(), russian, english);
}

namespace Texts {
inline QString UnsavedQuestion() {
    return Lang("Возможно, настройки были изменены, но не сохранены на диске. Сохранить?",
                "It is possible that the settings were changed, but not saved to disk. Save it?");
}
inline QString OverwriteQuestion() {
    return Lang("Файл уже существует. Переписать?", "The file already exists. Rewrite it?");
}
// A file refused as no settings file; the other load errors carry the
// system's words and stay as they are.
QString NotSettingsFile(const QString& name, const NotSettingsFileError& e);
} // namespace Texts
