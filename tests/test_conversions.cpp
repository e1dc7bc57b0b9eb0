#include "support/conversions.h"
#include "support/cp1251.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/numeric.h"

#include <QtTest>

class TestConversions : public QObject {
    Q_OBJECT
private slots:
    void twoDigitsAndTimes() {
        QCOMPARE(TwoDigitText(0), QStringLiteral("00"));
        QCOMPARE(TwoDigitText(9), QStringLiteral("09"));
        QCOMPARE(TwoDigitText(10), QStringLiteral("10"));
        QCOMPARE(TwoDigitText(100), QStringLiteral("100"));
        QCOMPARE(MinutesToTimeText(480), QStringLiteral("08:00"));
        QCOMPARE(MinutesToTimeText(1200), QStringLiteral("20:00"));
        QCOMPARE(MinutesToTimeText(1439), QStringLiteral("23:59"));
        QCOMPARE(MinutesToTimeText(1440), QStringLiteral("00:00"));
        QCOMPARE(MinutesToTimeText(65535), QStringLiteral("12:15"));
    }

    // Names keep every byte through a QString; only bytes that are not UTF-8
    // are escaped, and only they show as \xNN.
    void fileNameBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("out.tarvg") << QStringLiteral("out.tarvg");
        QTest::newRow("UTF-8 Cyrillic") << QByteArray("файл") << QStringLiteral("файл");
        QTest::newRow("four-byte UTF-8") << QByteArray("\xf0\x9f\x98\x80") << QStringLiteral("😀");
        QTest::newRow("cp1251") << QByteArray("\xf4\xe0\xe9\xeb")
                                << QStringLiteral("\\xf4\\xe0\\xe9\\xeb");
        QTest::newRow("cut sequence") << QByteArray("a\xd1") << QStringLiteral("a\\xd1");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QStringLiteral("\\xc0\\xaf");
        QTest::newRow("overlong three bytes")
            << QByteArray("\xe0\x80\xaf") << QStringLiteral("\\xe0\\x80\\xaf");
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xb3\xa0") << QStringLiteral("\\xed\\xb3\\xa0");
        QTest::newRow("beyond U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("\\xf4\\x90\\x80\\x80");
        QTest::newRow("mixed") << QByteArray("я\xff.t") << QStringLiteral("я\\xff.t");
    }
    void fileNameBytes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString name = DecodeNative(bytes);
        QCOMPARE(EncodeNative(name), bytes);
        QCOMPARE(EscapedText(name), shown);
    }

    void timeTextToMinutes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minutes");
        QTest::newRow("plain") << "08:30" << 510;
        QTest::newRow("no colon third") << "8.30" << 0;
        QTest::newRow("blank first hour digit") << " 8:30" << 510;
        QTest::newRow("unlimited parts") << "25:99" << 1599;
        QTest::newRow("typed 25:70") << "25:70" << 1570;
        QTest::newRow("signed part") << "+1:05" << 65;
        QTest::newRow("only first five count") << "01:02:03" << 62;
    }
    void timeTextToMinutes() {
        QFETCH(QString, text);
        QFETCH(int, minutes);
        QCOMPARE(int(TimeTextToMinutes(text)), minutes);
    }

    void badTimeTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("too short") << "1:"
                                   << "Range check error";
        QTest::newRow("colon but short") << "12:3"
                                         << "Range check error";
        QTest::newRow("blank minutes") << "12:  "
                                       << "'  ' is not a valid integer value";
        QTest::newRow("letters") << "ab:10"
                                 << "'ab' is not a valid integer value";
        QTest::newRow("negative") << "-1:00"
                                  << "Range check error";
    }
    void badTimeTexts() {
        QFETCH(QString, text);
        QFETCH(QString, message);
        try {
            TimeTextToMinutes(text);
            QFAIL("no error");
        } catch (const TripError& e) {
            QCOMPARE(e.message(), message);
        }
    }

    void colours() {
        QCOMPARE(Rgb565ToColor(0xFFFF), 0xFFFFFFu);
        QCOMPARE(Rgb565ToColor(0xF800), 0x0000FFu);
        QCOMPARE(Rgb565ToColor(0x001F), 0xFF0000u);
        QCOMPARE(Rgb565ToColor(0x07E0), 0x00FF00u);
        QCOMPARE(Rgb565ToColor(0x8410), 132u | (130u << 8) | (132u << 16));
        QCOMPARE(Rgb565ToColor(0x0019), 206u << 16);
    }

    void roundingHalvesToEven() {
        QCOMPARE(RoundHalfEven(0.5), 0.0);
        QCOMPARE(RoundHalfEven(1.5), 2.0);
        QCOMPARE(RoundHalfEven(2.5), 2.0);
        QCOMPARE(RoundHalfEven(-2.5), -2.0);
        QCOMPARE(RoundToField<int8_t>(127.4), int8_t(127));
        QVERIFY_THROWS_EXCEPTION(TripError, RoundToField<int8_t>(127.6));
        QVERIFY_THROWS_EXCEPTION(TripError, RoundToField<uint32_t>(-0.6));
        QCOMPARE(RoundToField<uint32_t>(-0.5), 0u);
        QVERIFY_THROWS_EXCEPTION(TripError, CheckedField<uint16_t>(65536));
        QCOMPARE(CheckedField<int16_t>(-32768), int16_t(-32768));
    }

    void codePage1251() {
        QCOMPARE(ToCp1251(QStringLiteral("Az~\u0410\u044F\u0401\u0451")),
                 QByteArray("Az~\xC0\xFF\xA8\xB8"));
        // Other letters and signs of the code page; what it lacks becomes "?".
        QCOMPARE(ToCp1251(QStringLiteral("\u040E\u0490\u0456\u2116\u20AC\u00A0")),
                 QByteArray("\xA1\xA5\xB3\xB9\x88\xA0"));
        QCOMPARE(ToCp1251(QStringLiteral("\u00E9\u4E2D\U0001F600.")), QByteArray("???."));
        for (int b = 0; b < 256; ++b) {
            const QChar c = Cp1251ToUnicode(uint8_t(b));
            if (b == 0x98) {
                QCOMPARE(c, QChar(0xFFFD));
                QVERIFY(!UnicodeToCp1251(c));
            } else {
                QCOMPARE(UnicodeToCp1251(c), std::optional<uint8_t>(uint8_t(b)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestConversions)
#include "test_conversions.moc"
