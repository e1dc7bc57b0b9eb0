#include "model/mk.h"
#include "model/settings_record.h"

#include <QtTest>

class TestSettingsRecord : public QObject {
    Q_OBJECT
private slots:
    void freshModelHoldsDefaults() {
        TMK mk;
        const auto& s = mk.Settings;
        QCOMPARE(s.Size, 124u);
        QCOMPARE(s.Flags, 0x10u);
        QCOMPARE(s.ExpenseCorr, 1.0f);
        QCOMPARE(s.VelocityCorr, 1.0f);
        QCOMPARE(s.TOPath, 99900000u);
        QCOMPARE(s.IntenseDayTime, int16_t(480));
        QCOMPARE(s.IntenseNightTime, int16_t(1200));
        QCOMPARE(s.DigitColor1, uint8_t(10));
        QCOMPARE(s.DigitBack1, uint8_t(0));
        QCOMPARE(s.DigitColor2, uint8_t(11));
        QCOMPARE(s.DigitBack2, uint8_t(4));
        QCOMPARE(mk.Version, uint16_t(0));
        QVERIFY(mk.Image.isEmpty());
    }

    // The defaults as the device lays them out, little-endian at fixed offsets.
    void defaultBytesAtDeviceOffsets() {
        const auto b = TSettingsRecord::Defaults().ToBytes();
        auto le16 = [&](int o) { return b[o] | (b[o + 1] << 8); };
        auto le32 = [&](int o) { return uint32_t(le16(o)) | (uint32_t(le16(o + 2)) << 16); };
        QCOMPARE(le32(0x00), 124u);
        QCOMPARE(le32(0x04), 0x10u);
        QCOMPARE(le32(0x08), 0x3F800000u); // 1.0f
        QCOMPARE(le32(0x0C), 0x3F800000u);
        QCOMPARE(le32(0x28), 5000u);
        QCOMPARE(le32(0x30), 99900000u);
        QCOMPARE(le16(0x38), 115);
        QCOMPARE(le16(0x3A), 155);
        QCOMPARE(le16(0x3C), 80);
        QCOMPARE(le16(0x3E), 110);
        QCOMPARE(le16(0x40), 12);
        QCOMPARE(le16(0x42), 6);
        QCOMPARE(le16(0x44), 100);
        QCOMPARE(le16(0x46), 50);
        const QList<QPair<int, int>> bytes = {
            {0x56, 4},  {0x57, 1}, {0x58, 1},  {0x59, 0},   {0x61, 0},  {0x62, 100},
            {0x63, 0},  {0x64, 0}, {0x65, 80}, {0x68, 115}, {0x69, 10}, {0x6A, 115},
            {0x6B, 50}, {0x6C, 1}, {0x6D, 51}, {0x73, 2},   {0x75, 0},  {0x77, 0},
            {0x78, 10}, {0x79, 0}, {0x7A, 11}, {0x7B, 4}};
        for (auto [offset, value] : bytes)
            QCOMPARE(int(b[offset]), value);
        QCOMPARE(le16(0x5C), 480);
        QCOMPARE(le16(0x5E), 1200);
        QCOMPARE(le16(0x66), 200);
        // Every byte the table leaves without a default is zero.
        for (int o : {0x2C, 0x48, 0x50, 0x53, 0x55, 0x5A, 0x60, 0x6E, 0x72, 0x74})
            QCOMPARE(int(b[o]), 0);
    }

    void bytesRoundTripThroughRecord() {
        std::array<uint8_t, 124> raw;
        for (int i = 0; i < 124; ++i)
            raw[i] = uint8_t(i * 37 + 11);
        const auto r = TSettingsRecord::FromBytes(raw);
        QCOMPARE(r.ToBytes(), raw);
        QCOMPARE(r.Oil6L, uint16_t(raw[0x40] | (raw[0x41] << 8)));
        QCOMPARE(r.VelocityLimit, int16_t(raw[0x66] | (raw[0x67] << 8)));
        QCOMPARE(r.Protocol, int8_t(raw[0x61]));
    }

    void fieldTableNamesEveryByte() {
        int covered = 0;
        for (const auto& f : RecordFields())
            covered += FieldWidth(f);
        QCOMPARE(covered, 124);
        // Each byte belongs to exactly one field, and a field's bytes are the
        // struct member's: changing the member changes those bytes alone.
        std::array<int, 124> owners{};
        for (const auto& f : RecordFields())
            for (int i = 0; i < FieldWidth(f); ++i)
                ++owners[size_t(f.offset + i)];
        for (int o = 0; o < 124; ++o)
            QVERIFY2(owners[size_t(o)] == 1, qPrintable(QString::number(o)));
        const TSettingsRecord zero = TSettingsRecord::FromBytes(std::array<uint8_t, 124>{});
        for (const auto& f : RecordFields()) {
            auto raw = zero.ToBytes();
            for (int i = 0; i < FieldWidth(f); ++i)
                raw[size_t(f.offset + i)] = 0xFF;
            TSettingsRecord r = TSettingsRecord::FromBytes(raw);
            const auto* member = reinterpret_cast<const uint8_t*>(&r);
            for (int o = 0; o < 124; ++o)
                QCOMPARE(int(member[o]), o >= f.offset && o < f.offset + FieldWidth(f) ? 0xFF : 0);
            QCOMPARE(IsReserved(f), QByteArray(f.name).startsWith("Reserved"));
        }
        const auto b = TSettingsRecord::Defaults().ToBytes();
        for (const auto& f : RecordFields()) {
            if (QByteArray(f.name) == "TOPath")
                QCOMPARE(FieldValue(b, f), 99900000.0);
            if (QByteArray(f.name) == "VelocityCorr")
                QCOMPARE(FieldValue(b, f), 1.0);
        }
    }

    void packThenUnpackKeepsRecord() {
        TMK mk;
        mk.Settings.TOTime = 123456;
        mk.Settings.AccCorr = -7;
        const auto before = mk.Settings;
        mk.PackSettings();
        QCOMPARE(mk.Image.size(), 124);
        mk.Settings = TSettingsRecord::Defaults();
        mk.UnpackSettings();
        QVERIFY(mk.Settings == before);
    }

    void packTouchesOnlyTheRecordBytes() {
        TMK mk;
        mk.Image = QByteArray(2048, char(0xA5));
        mk.PackSettings();
        QCOMPARE(mk.Image.size(), 2048);
        const auto rec = mk.Settings.ToBytes();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(rec.data()), 124), mk.Image.left(124));
        QCOMPARE(mk.Image.mid(124), QByteArray(2048 - 124, char(0xA5)));
    }

    void unpackOfShortImageKeepsTheRest() {
        TMK mk;
        mk.Image = QByteArray(6, char(0x01)); // Size and the low half of Flags
        mk.UnpackSettings();
        QCOMPARE(mk.Settings.Size, 0x01010101u);
        QCOMPARE(mk.Settings.Flags, 0x0101u | 0x00u);
        QCOMPARE(mk.Settings.TOPath, 99900000u);
    }

    void paletteFromFiveBitComponents() {
        TMK mk;
        const uint16_t expected[16] = {0x0000, 0x8104, 0x0596, 0xCE60, 0x0019, 0x9012,
                                       0x4FFA, 0x8410, 0xF81F, 0xF800, 0x07E0, 0xFFE0,
                                       0x001F, 0xFD80, 0x07FF, 0xFFFF};
        for (int i = 0; i < 16; ++i)
            QCOMPARE(mk.Palette[i], expected[i]);
    }
};

QTEST_APPLESS_MAIN(TestSettingsRecord)
#include "test_settings_record.moc"
