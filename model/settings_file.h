#pragma once

#include <QByteArray>
#include <QString>

class TMK;

// Full settings file ("tarvg"): version, then the scrambled image.
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

// Scrambling and unscrambling are one operation; index counts image bytes.
void ScrambleImage(QByteArray& bytes);
