#include "shell/window_language.h"

#include "model/settings_file.h"

namespace {

// The model's reasons (the command line's words), as the window's texts.
const char* Reason(TForeignFile kind) {
    switch (kind) {
    case TForeignFile::SettingsJson:
        return QT_TRANSLATE_NOOP("TWindowTexts",
                                 "It is the JSON form of a settings file (tripconf-cli export "
                                 "writes it), not a settings file: use tripconf-cli import to "
                                 "make one of it.");
    case TForeignFile::Png:
        return QT_TRANSLATE_NOOP("TWindowTexts", "It is a PNG image, not a settings file.");
    case TForeignFile::Bmp:
        return QT_TRANSLATE_NOOP("TWindowTexts", "It is a BMP image, not a settings file.");
    case TForeignFile::Ppm:
        return QT_TRANSLATE_NOOP("TWindowTexts", "It is a PPM image, not a settings file.");
    case TForeignFile::None:
        break;
    }
    return "";
}

} // namespace

QString Texts::NotSettingsFile(const QString& name, const NotSettingsFileError& e) {
    return TWindowTexts::tr("Cannot load settings from file \"%1\". %2")
        .arg(name, TWindowTexts::tr(Reason(e.kind())));
}
