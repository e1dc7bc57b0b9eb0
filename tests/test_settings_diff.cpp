#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_diff.h"
#include "model/settings_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <functional>

namespace {

QString Unit(const char* field) {
    return ShownFieldText(TSettingsRecord::Defaults(), *FindField(field))->unit;
}

// A settings file's content: version 3, the simulator's memory at start, then `change`.
QByteArray File(const std::function<void(TMK&)>& change = {}) {
    TMK mk;
    mk.Version = 3;
    mk.Image = QByteArray(2048, '\0');
    for (int i = 124; i < mk.Image.size(); ++i)
        mk.Image[i] = char((i + i / 256) % 256);
    mk.PackSettings();
    if (change)
        change(mk);
    mk.PackSettings();
    return SettingsFileData(mk);
}

// Each side loaded as the command loads a file.
SettingsDiff Compare(const QByteArray& fileA, const QByteArray& fileB) {
    TMK a, b;
    LoadSettingsData(a, fileA);
    LoadSettingsData(b, fileB);
    return CompareSettings(DiffSideOf(QStringLiteral("a.tarvg"), a),
                           DiffSideOf(QStringLiteral("b.tarvg"), b));
}

QByteArray Canonical(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    return error.error == QJsonParseError::NoError ? doc.toJson(QJsonDocument::Compact)
                                                   : "not JSON: " + error.errorString().toUtf8();
}

} // namespace

class TestSettingsDiff : public QObject {
    Q_OBJECT

private slots:
    // The text lines and the JSON object of one comparison; `json`, where
    // given, is the whole object expected.
    void report_data() {
        QTest::addColumn<QByteArray>("fileA");
        QTest::addColumn<QByteArray>("fileB");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("json");
        const QByteArray a = File();
        const QString hours = Unit("TOTime"), speed = Unit("VelocityLimit");
        const QString image = QStringLiteral("Image bytes 124..2047: ");

        QTest::newRow("the same") << a << a << QStringList()
                                  << QByteArray(R"({"A": "a.tarvg", "B": "b.tarvg", "differ": false,
                "Version": {"A": 3, "B": 3}, "fields": [], "reserved": [], "image": null})");
        QTest::newRow("version only")
            << a << File([](TMK& mk) { mk.Version = 4; })
            << QStringList{QStringLiteral("Version: 3 -> 4")} << QByteArray();
        QTest::newRow("field") << a << File([](TMK& mk) {
            mk.Settings.VelocityLimit = 130;
        }) << QStringList{QStringLiteral("VelocityLimit: 200 %1 -> 130 %1").arg(speed)}
                               << QByteArray();
        // Seconds shown as whole hours: both show 0, so the stored numbers follow.
        QTest::newRow("look-alike texts")
            << a << File([](TMK& mk) { mk.Settings.TOTime = 1; })
            << QStringList{QStringLiteral("TOTime: 0 %1 -> 0 %1 (stored 0 -> 1)").arg(hours)}
            << QByteArray();
        QTest::newRow("reserved bytes")
            << a << File([](TMK& mk) { mk.Settings.Reserved48[1] = 1; })
            << QStringList{QStringLiteral("reserved bytes 0x48..0x4F: 00 00 00 00 00 00 00 00 "
                                          "-> 00 01 00 00 00 00 00 00")}
            << QByteArray();
        QTest::newRow("reserved byte")
            << a << File([](TMK& mk) { mk.Settings.Reserved55 = 7; })
            << QStringList{QStringLiteral("reserved byte 0x55: 00 -> 07")} << QByteArray();
        QTest::newRow("image bytes") << a << File([](TMK& mk) {
            mk.Image[300] = char(mk.Image[300] ^ 1);
            mk.Image[1000] = char(mk.Image[1000] ^ 1);
        }) << QStringList{image + QStringLiteral("2 bytes differ, first at offset 300")}
                                     << QByteArray();
        // A byte only one image has counts as differing.
        QTest::newRow("B shorter")
            << a << a.left(2 + 1024)
            << QStringList{image + QStringLiteral("1024 bytes differ, first at offset "
                                                  "1024 (A has 2048 bytes, B 1024)")}
            << QByteArray(R"({"A": "a.tarvg", "B": "b.tarvg", "differ": true,
                "Version": {"A": 3, "B": 3}, "fields": [], "reserved": [],
                "image": {"count": 1024, "first": 1024, "sizeA": 2048, "sizeB": 1024}})");
        QTest::newRow("A shorter")
            << a.left(2 + 1000) << a
            << QStringList{image + QStringLiteral("1048 bytes differ, first at offset "
                                                  "1000 (A has 1000 bytes, B 2048)")}
            << QByteArray();
        // The window would not keep B's fan channel: the editor applies the protocol.
        const QString resets =
            QStringLiteral("the editor sets 1, the protocol's first channel, when it opens");
        QTest::newRow("editor resets")
            << a << File([](TMK& mk) { mk.Settings.VentChan = 2; })
            << QStringList{QStringLiteral("VentChan: 1 -> 1+2 (B: %1)").arg(resets)}
            << QStringLiteral(R"({"A": "a.tarvg", "B": "b.tarvg", "differ": true,
                "Version": {"A": 3, "B": 3}, "fields": [{"name": "VentChan", "offset": %1,
                  "unit": "", "A": {"raw": 0, "shown": "1"}, "B": {"raw": 2, "shown": "1+2",
                  "editorResets": "%2"}}], "reserved": [], "image": null})")
                   .arg(FindField("VentChan")->offset)
                   .arg(resets)
                   .toUtf8();
        // Everything at once, in record order after the version.
        const QString json =
            QStringLiteral(
                R"({"A": "a.tarvg", "B": "b.tarvg", "differ": true, "Version": {"A": 3, "B": 4},
                "fields": [
                 {"name": "TOTime", "offset": %1, "unit": "%2",
                  "A": {"raw": 0, "shown": "0"}, "B": {"raw": 1, "shown": "0"}},
                 {"name": "VelocityLimit", "offset": %3, "unit": "%4",
                  "A": {"raw": 200, "shown": "200"}, "B": {"raw": 130, "shown": "130"}}],
                "reserved": [{"name": "reserved bytes 0x48..0x4F", "offset": 72, "size": 8,
                  "A": "00 00 00 00 00 00 00 00", "B": "00 01 00 00 00 00 00 00"}],
                "image": {"count": 2, "first": 300, "sizeA": 2048, "sizeB": 2048}})")
                .arg(FindField("TOTime")->offset)
                .arg(hours)
                .arg(FindField("VelocityLimit")->offset)
                .arg(speed);
        QTest::newRow("all at once")
            << a << File([](TMK& mk) {
                   mk.Version = 4;
                   mk.Settings.VelocityLimit = 130;
                   mk.Settings.TOTime = 1;
                   mk.Settings.Reserved48[1] = 1;
                   mk.Image[300] = char(mk.Image[300] ^ 1);
                   mk.Image[1000] = char(mk.Image[1000] ^ 1);
               })
            << QStringList{QStringLiteral("Version: 3 -> 4"),
                           QStringLiteral("TOTime: 0 %1 -> 0 %1 (stored 0 -> 1)").arg(hours),
                           QStringLiteral("reserved bytes 0x48..0x4F: 00 00 00 00 00 00 00 00 "
                                          "-> 00 01 00 00 00 00 00 00"),
                           QStringLiteral("VelocityLimit: 200 %1 -> 130 %1").arg(speed),
                           image + QStringLiteral("2 bytes differ, first at offset 300")}
            << json.toUtf8();
    }

    void report() {
        QFETCH(QByteArray, fileA);
        QFETCH(QByteArray, fileB);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, json);
        const SettingsDiff d = Compare(fileA, fileB);
        QCOMPARE(d.Differ(), !lines.isEmpty());
        QCOMPARE(DiffText(d), lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + '\n');

        // The JSON object says the same: one entry per line, a null image when
        // the images agree.
        const QByteArray printed = DiffJson(d).toUtf8();
        if (!json.isEmpty())
            QCOMPARE(Canonical(printed), Canonical(json));
        const QJsonObject root = QJsonDocument::fromJson(printed).object();
        QCOMPARE(root.keys(),
                 QStringList({"A", "B", "Version", "differ", "fields", "image", "reserved"}));
        QCOMPARE(root.value("differ").toBool(), d.Differ());
        const QJsonObject version = root.value("Version").toObject();
        QCOMPARE(version.value("A").toInt() != version.value("B").toInt(),
                 lines.value(0).startsWith("Version: "));
        const bool imageLine = lines.value(lines.size() - 1).startsWith("Image bytes");
        QCOMPARE(root.value("image").isNull(), !imageLine);
        QCOMPARE(root.value("fields").toArray().size() + root.value("reserved").toArray().size(),
                 lines.size() - d.VersionDiffers() - imageLine);
    }
};

QTEST_GUILESS_MAIN(TestSettingsDiff)
#include "test_settings_diff.moc"
