#pragma once

#include "model/settings_format.h"
#include "support/file_io.h"

#include <QByteArray>
#include <QString>

class TMK;

// Full settings file ("tarvg"): its format is in settings_format.h.
// Tank calibration file ("tarvo"): the four calibration values, 8 bytes.
// Saves replace the file atomically; failures raise TripError with the
// system's message, and a failed load changes nothing.
void SaveSettingsFile(const TMK& mk, const QString& name);
void LoadSettingsFile(TMK& mk, const QString& name);
void SaveTankFile(const TMK& mk, const QString& name);
void LoadTankFile(TMK& mk, const QString& name);
// The same on a file's content in memory; the file operations use these.
QByteArray SettingsFileData(const TMK& mk);
void LoadSettingsData(TMK& mk, const QByteArray& data);
QByteArray TankFileData(const TMK& mk);
void LoadTankData(TMK& mk, const QByteArray& data);

// What a user may take for a settings file by mistake. A settings file has
// no header, so only content that is surely one of these is refused; any
// other content loads.
enum class TForeignFile { None, SettingsJson, Png, Bmp, Ppm };
TForeignFile RecognizeForeignFile(const QByteArray& data);
// Why such a file is refused: "It is a PNG image, not a settings file."
QString ForeignFileReason(TForeignFile kind);

// Raised by the loads of a settings file for a file RecognizeForeignFile
// knows; the message names the file and what it is.
class NotSettingsFileError : public FileError {
public:
    NotSettingsFileError(const QString& name, TForeignFile kind);
    TForeignFile kind() const { return kind_; }

private:
    TForeignFile kind_;
};

// The content of the file to load as settings: ReadWholeFile's, or
// NotSettingsFileError. LoadSettingsFile reads through it.
QByteArray ReadSettingsFile(const QString& name);
