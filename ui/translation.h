#pragma once

#include <QString>

// The window's language. Its texts are written in English; every other
// language, Russian first among them, is a Qt translation built from
// translations/tripconf_CODE.ts into the program. While the window is not
// English, that translation is installed in the application, so the
// window, its boxes and the transfers' texts all follow it; the editor's
// texts are the trip computer's own and never change.

// True while no translation is installed.
bool WindowIsEnglish();
// Installs the translation (false) or removes it (true); the window then
// sets its texts again. Returns false when the translation could not be
// loaded, and the window is English then.
bool SetWindowLanguage(bool english);
// The translation used when the window is not English: "ru" unless the
// INI names another one that the program holds.
QString WindowTranslation();
// Uses the translation code from now on; false, changing nothing, when the
// program does not hold it. An empty code names none and changes nothing.
bool SetWindowTranslation(const QString& code);
// The translations built into the program, e.g. {"ru"}.
QStringList AvailableTranslations();
