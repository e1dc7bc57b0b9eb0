#pragma once

#include <QString>

// Program-wide language of the main window and its own messages.
extern bool English;

// The text in the current language, chosen at the moment it is shown.
inline QString Lang(const char* russian, const char* english) {
    return QString::fromUtf8(English ? english : russian);
}

namespace Texts {
inline QString UnsavedQuestion() {
    return Lang("Возможно, настройки были изменены, но не сохранены на диске. Сохранить?",
                "It is possible that the settings were changed, but not saved to disk. Save it?");
}
inline QString OverwriteQuestion() {
    return Lang("Файл уже существует. Переписать?", "The file already exists. Rewrite it?");
}
} // namespace Texts
