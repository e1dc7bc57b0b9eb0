#include "model/mk.h"
#include "support/errors.h"

#include <QLocale>
#include <QtTest>

class TestCatalogues : public QObject {
    Q_OBJECT
private slots:
    void protocolCatalogue() {
        TMK mk;
        QVERIFY(mk.ProtocolList.empty());
        mk.BuildProtocolList();
        QCOMPARE(mk.ProtocolList.size(), size_t(19));
        QCOMPARE(mk.ProtocolList[0]->Name, QStringLiteral("M74CAN"));
        QCOMPARE(int(mk.ProtocolList[0]->Code), 16);
        QCOMPARE(mk.ProtocolList[18]->Name, QStringLiteral("86L"));
        QCOMPARE(int(mk.ProtocolList[18]->Code), 19);
        QSet<int> codes;
        for (const auto& p : mk.ProtocolList)
            codes.insert(p->Code);
        QCOMPARE(codes.size(), 19);
        QVERIFY(!codes.contains(4) && !codes.contains(7));
        QCOMPARE(mk.CurrentProtocol, mk.ProtocolList[0].get());
        // Look-alike letters: Latin M here, Cyrillic М (U+041C) there.
        QCOMPARE(mk.ProtocolList[0]->Name[0], QChar(u'M'));
        QCOMPARE(mk.ProtocolList[9]->Name[0], QChar(0x041C));
        QCOMPARE(mk.ProtocolList[14]->Name, QStringLiteral("БОШ ") + QStringLiteral("M7.0"));
        QCOMPARE(mk.ProtocolList[14]->Name[4], QChar(u'M'));
    }

    void protocolRules() {
        TMK mk;
        mk.BuildProtocolList();
        auto at = [&](int n) -> const TProtBase& { return *mk.ProtocolList[size_t(n)]; };
        // "ЯНВАРЬ": four channels, preset "1".
        QCOMPARE(FanChannelRange(at(6)).first, 0);
        QCOMPARE(FanChannelRange(at(6)).last, 3);
        QVERIFY(at(6).FanChannelChoice);
        // "M74.8/9": only "3" and "4", preset "3".
        QCOMPARE(FanChannelRange(at(1)).first, 3);
        QCOMPARE(FanChannelRange(at(1)).last, 4);
        QCOMPARE(FanChannelRange(at(0)).last, 2);
        QCOMPARE(FanChannelRange(at(9)).last, 1);
        // "IVECO": no selector, two fuel methods.
        QVERIFY(!at(2).FanChannelChoice);
        QCOMPARE(FuelLevelMethods(at(2)),
                 QStringList({QStringLiteral("ДУТ"), QStringLiteral("Расчетный")}));
        // "CAN": level from the control unit, no gearbox oil; "74L": both.
        QCOMPARE(FuelLevelMethods(at(3)).size(), 3);
        QCOMPARE(FuelLevelMethods(at(3)).last(), QStringLiteral("ДУТ ЭБУ"));
        QVERIFY(!HasGearboxOilSource(at(3)));
        QVERIFY(HasGearboxOilSource(at(17)));
        QCOMPARE(FuelLevelMethods(at(17)).size(), 3);
        int gearbox = 0;
        for (const auto& p : mk.ProtocolList)
            gearbox += HasGearboxOilSource(*p);
        QCOMPARE(gearbox, 4);
    }

    void protocolWithoutEntryFails_data() {
        QTest::addColumn<int>("number");
        QTest::newRow("19") << 19;
        QTest::newRow("byte 200 reads negative") << int(int8_t(200));
    }
    void protocolWithoutEntryFails() {
        QFETCH(int, number);
        TMK mk;
        mk.Settings.Protocol = int8_t(number);
        try {
            mk.BuildProtocolList();
            QFAIL("no error");
        } catch (const TripError& e) {
            QCOMPARE(e.message(), QStringLiteral("List index out of bounds (%1)").arg(number));
        }
        QCOMPARE(mk.ProtocolList.size(), size_t(19));
        QVERIFY(!mk.CurrentProtocol);
    }

    void displayParameters() {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        TMK mk;
        mk.BuildParameterList();
        QCOMPARE(mk.ParameterList.size(), size_t(12));
        QList<int> order;
        for (const auto& p : mk.ParameterList)
            order << p->Index;
        QCOMPARE(order, QList<int>({0, 1, 2, 5, 3, 4, 6, 7, 8, 9, 10, 11}));
        QCOMPARE(mk.FindParameter(5)->Caption, QStringLiteral("ТЕМПЕРАТ. ОЖ, С"));
        QCOMPARE(mk.FindParameter(5)->SampleText, QStringLiteral(" 90"));
        QVERIFY(!mk.FindParameter(12));
        QVERIFY(!mk.FindParameter(255));
        QCOMPARE(mk.FindParameter(0)->SampleText, QStringLiteral("15:30"));
        QCOMPARE(mk.FindParameter(1)->SampleText, QStringLiteral("2000"));
        QCOMPARE(mk.FindParameter(2)->SampleText, QStringLiteral("14.0")); // "." in any locale
        QCOMPARE(mk.FindParameter(8)->SampleText, QStringLiteral("300"));
        for (int i : {3, 4, 5, 7, 9})
            QCOMPARE(mk.FindParameter(uint8_t(i))->SampleText.size(), 3);
        QCOMPARE(mk.FindParameter(6)->SampleText, QStringLiteral(" 10.0"));
        QCOMPARE(mk.FindParameter(10)->SampleText, QStringLiteral(" 50.0"));
        QCOMPARE(mk.FindParameter(11)->SampleText, QStringLiteral(" 10.0"));
        QLocale::setDefault(QLocale::c());
    }

    void editSettingsKeepsOrRestores() {
        TMK mk;
        mk.Image = QByteArray(2048, char(0x5A));
        auto rec = TSettingsRecord::Defaults().ToBytes();
        mk.Image.replace(0, 124, QByteArray(reinterpret_cast<const char*>(rec.data()), 124));
        const QByteArray image = mk.Image;

        // Cancel: every byte back, image untouched.
        QVERIFY(!mk.EditSettings([](TMK& m) {
            m.Settings.TripTime = 0;
            m.Settings.TOTime = 99;
            m.Settings.Oil6L = 1;
            return false;
        }));
        QCOMPARE(mk.Image, image);
        QVERIFY(mk.Settings == TSettingsRecord::Defaults());

        // OK: the record goes into bytes 0..123 only.
        QVERIFY(mk.EditSettings([](TMK& m) {
            m.Settings.TOTime = 3600;
            return true;
        }));
        QCOMPARE(mk.Image.size(), 2048);
        QCOMPARE(mk.Image.mid(124), image.mid(124));
        QCOMPARE(uint8_t(mk.Image[0x34]), uint8_t(0x10));
        QCOMPARE(uint8_t(mk.Image[0x35]), uint8_t(0x0E));

        // Opening twice gives the same catalogue.
        QCOMPARE(mk.ProtocolList.size(), size_t(19));
        QCOMPARE(mk.ParameterList.size(), size_t(12));

        // A protocol without an entry: the dialog still runs, with none
        // chosen; OK without changes leaves the image as it was.
        mk.Image[0x61] = char(19);
        const QByteArray bad = mk.Image;
        bool ranWithoutProtocol = false;
        QVERIFY(mk.EditSettings([&](TMK& m) {
            ranWithoutProtocol = !m.CurrentProtocol && m.ProtocolList.size() == 19;
            return true;
        }));
        QVERIFY(ranWithoutProtocol);
        QCOMPARE(mk.Image, bad);
    }
};

QTEST_APPLESS_MAIN(TestCatalogues)
#include "test_catalogues.moc"
