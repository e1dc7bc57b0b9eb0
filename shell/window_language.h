#pragma once

#include "ui/translation.h"

#include <QCoreApplication>
#include <QString>

class NotSettingsFileError;

// The window's texts that belong to no one dialog.
struct TWindowTexts {
    Q_DECLARE_TR_FUNCTIONS(TWindowTexts)
};

namespace Texts {
inline QString UnsavedQuestion() {
    return TWindowTexts::tr(
        "It is possible that the settings were changed, but not saved to disk. Save it?");
}
inline QString OverwriteQuestion() {
    return TWindowTexts::tr("The file already exists. Rewrite it?");
}
// A file refused as no settings file; the other load errors carry the
// system's words and stay as they are.
QString NotSettingsFile(const QString& name, const NotSettingsFileError& e);
} // namespace Texts
