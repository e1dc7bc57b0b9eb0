#include "model/settings_diff.h"

#include "model/field_text.h"
#include "model/mk.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

DiffSide DiffSideOf(const QString& name, const TMK& mk) {
    return {name, mk.Version, mk.Settings, mk.Image};
}

SettingsDiff CompareSettings(const DiffSide& a, const DiffSide& b) {
    SettingsDiff d;
    d.nameA = a.name;
    d.nameB = b.name;
    d.versionA = a.version;
    d.versionB = b.version;
    d.fields = CompareRecords(a.settings.ToBytes(), b.settings.ToBytes());
    d.image = CompareImageTails(a.image, b.image);
    return d;
}

QString DiffText(const SettingsDiff& d) {
    QString text;
    if (d.VersionDiffers())
        text += QStringLiteral("Version: %1 -> %2\n").arg(d.versionA).arg(d.versionB);
    for (const FieldDifference& f : d.fields) {
        text +=
            QStringLiteral("%1: %2 -> %3")
                .arg(FieldLabel(*f.field), WithUnit(f.shownA, f.unit), WithUnit(f.shownB, f.unit));
        if (f.showStored)
            text += QStringLiteral(" (stored %1 -> %2)")
                        .arg(StoredNumberText(f.rawA), StoredNumberText(f.rawB));
        if (!f.resetsA.isEmpty())
            text += QStringLiteral(" (A: %1)").arg(f.resetsA);
        if (!f.resetsB.isEmpty())
            text += QStringLiteral(" (B: %1)").arg(f.resetsB);
        text += QLatin1Char('\n');
    }
    const ImageTailDifference& t = d.image;
    if (t.count > 0) {
        text += QStringLiteral("Image bytes %1..%2: %3 bytes differ, first at offset %4")
                    .arg(TSettingsRecord::kSize)
                    .arg(t.end - 1)
                    .arg(t.count)
                    .arg(t.first);
        if (t.sizeA != t.sizeB)
            text += QStringLiteral(" (A has %1 bytes, B %2)").arg(t.sizeA).arg(t.sizeB);
        text += QLatin1Char('\n');
    }
    return text;
}

QString DiffJson(const SettingsDiff& d) {
    QJsonArray fields, reserved;
    for (const FieldDifference& f : d.fields) {
        const QString label = FieldLabel(*f.field);
        if (IsReserved(*f.field)) {
            reserved.append(QJsonObject{{QStringLiteral("name"), label},
                                        {QStringLiteral("offset"), f.field->offset},
                                        {QStringLiteral("size"), FieldWidth(*f.field)},
                                        {QStringLiteral("A"), f.shownA},
                                        {QStringLiteral("B"), f.shownB}});
            continue;
        }
        const auto side = [](double raw, const QString& shown, const QString& resets) {
            QJsonObject o{{QStringLiteral("raw"), raw}, {QStringLiteral("shown"), shown}};
            if (!resets.isEmpty())
                o.insert(QStringLiteral("editorResets"), resets);
            return o;
        };
        fields.append(QJsonObject{{QStringLiteral("name"), label},
                                  {QStringLiteral("offset"), f.field->offset},
                                  {QStringLiteral("unit"), f.unit},
                                  {QStringLiteral("A"), side(f.rawA, f.shownA, f.resetsA)},
                                  {QStringLiteral("B"), side(f.rawB, f.shownB, f.resetsB)}});
    }
    QJsonValue image = QJsonValue::Null;
    if (d.image.count > 0)
        image = QJsonObject{{QStringLiteral("count"), d.image.count},
                            {QStringLiteral("first"), d.image.first},
                            {QStringLiteral("sizeA"), qint64(d.image.sizeA)},
                            {QStringLiteral("sizeB"), qint64(d.image.sizeB)}};
    const QJsonObject root{
        {QStringLiteral("A"), d.nameA},
        {QStringLiteral("B"), d.nameB},
        {QStringLiteral("differ"), d.Differ()},
        {QStringLiteral("Version"), QJsonObject{{QStringLiteral("A"), int(d.versionA)},
                                                {QStringLiteral("B"), int(d.versionB)}}},
        {QStringLiteral("fields"), fields},
        {QStringLiteral("reserved"), reserved},
        {QStringLiteral("image"), image}};
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}
