#include "shell/window_language.h"

#include "model/settings_file.h"

bool English = false;

QString Texts::NotSettingsFile(const QString& name, const NotSettingsFileError& e) {
    if (English)
        return e.message();
    const char* what = "";
    switch (e.kind()) {
    case TForeignFile::SettingsJson:
        what = "Это файл настроек в виде JSON (его пишет tripconf-cli export), а не сам файл "
               "настроек: сделайте из него файл настроек командой tripconf-cli import.";
        break;
    case TForeignFile::Png:
        what = "Это изображение PNG, а не файл настроек.";
        break;
    case TForeignFile::Bmp:
        what = "Это изображение BMP, а не файл настроек.";
        break;
    case TForeignFile::Ppm:
        what = "Это изображение PPM, а не файл настроек.";
        break;
    case TForeignFile::None:
        break;
    }
    return QStringLiteral("Невозможно загрузить настройки из файла \"%1\". %2")
        .arg(name, QString::fromUtf8(what));
}
