#pragma once

#include "model/record_diff.h"
#include "model/settings_record.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class TMK;

// The report of `tripconf-cli diff`: what differs between two sets of
// settings, and its text and JSON forms. Loading the sides is the caller's.

// One side: a settings file or the trip computer's settings as loaded.
struct DiffSide {
    QString name; // the file name, or "port PORT"
    uint16_t version = 0;
    // The record as loaded: a short image leaves the rest as a new program holds it.
    TSettingsRecord settings;
    QByteArray image;
};
DiffSide DiffSideOf(const QString& name, const TMK& mk);

struct SettingsDiff {
    QString nameA, nameB;
    uint16_t versionA = 0, versionB = 0;
    // Interpreted and reserved fields whose bytes differ, in record order.
    std::vector<FieldDifference> fields;
    ImageTailDifference image; // bytes 124 on
    bool VersionDiffers() const { return versionA != versionB; }
    bool Differ() const { return VersionDiffers() || !fields.empty() || image.count > 0; }
};

SettingsDiff CompareSettings(const DiffSide& a, const DiffSide& b);

// One line per difference ("NAME: A -> B"), empty when there is none.
QString DiffText(const SettingsDiff& d);
// One indented JSON object: A, B, differ, Version, fields, reserved, image.
QString DiffJson(const SettingsDiff& d);
