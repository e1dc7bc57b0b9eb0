#include "link/serial_link.h"
#include "scripted_dialogs.h"
#include "shell/port_dialog.h"
#include "support/ini_file.h"
#include "tools/simulator.h"
#include "ui/application.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QComboBox* Combo(QDialog* d) {
    return d->findChild<QComboBox*>(QStringLiteral("PCB"));
}

QPushButton* Ok(QDialog* d) {
    return d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

} // namespace

class TestPortDialog : public QObject {
    Q_OBJECT

private slots:
    void showsEachPortWithItsPathAndTheRemedyForAPortWithoutPermission() {
        ScriptedDialogs dialogs;
        const QList<TPortChoice> ports = {
            {1, QStringLiteral("/dev/ttyS0"), {}, false},
            {3, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), false},
            {4, QStringLiteral("/dev/ttyACM0"), {}, true},
        };
        QStringList items;
        bool okWithDenied = true;
        dialogs.onExec = [&](QDialog* d) {
            [&] {
                QCOMPARE(d->windowTitle(), QStringLiteral("Port number selection"));
                QCOMPARE(d->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                         QStringLiteral("Select serial port"));
                QComboBox* pcb = Combo(d);
                QVERIFY(!pcb->isEditable());
                for (int i = 0; i < pcb->count(); ++i)
                    items << pcb->itemText(i);
                QCOMPARE(pcb->currentIndex(), 1); // the current port, COM3
                QVERIFY(Ok(d)->isEnabled());
                pcb->setCurrentIndex(2);
                okWithDenied = Ok(d)->isEnabled();
                pcb->setCurrentIndex(0);
            }();
            return int(QDialog::Accepted);
        };
        QCOMPARE(RunPortNumberDlg(ports, 3), std::optional<int>(1));
        QCOMPARE(dialogs.executed, QStringList{QStringLiteral("TPortNumberDlg")});
        QCOMPARE(items.size(), 3);
        QVERIFY(items[0].startsWith(QStringLiteral("COM1 ")));
        QVERIFY(items[1].startsWith(QStringLiteral("COM3 ")));
        QVERIFY(items[1].contains(QStringLiteral("/dev/ttyUSB0")));
        QVERIFY(items[1].contains(QStringLiteral("FT232R USB UART")));
        QVERIFY(items[2].contains(QStringLiteral("dialout")));
        QVERIFY(!okWithDenied);

        // The built-in texts before the run-time English ones.
        TPortNumberDlg plain;
        QCOMPARE(plain.windowTitle(), QStringLiteral("Выбор номера порта"));
        QCOMPARE(plain.Label1->text(), QStringLiteral("Выберите последовательный порт"));

        // Cancel, and a current port that is gone: nothing selected, OK unusable.
        bool okEnabled = true;
        dialogs.onExec = [&](QDialog* d) {
            okEnabled = Ok(d)->isEnabled() || Combo(d)->currentIndex() != -1;
            return int(QDialog::Rejected);
        };
        QCOMPARE(RunPortNumberDlg(ports, 2), std::nullopt);
        QVERIFY(!okEnabled);
    }

    void choosingAPortOpensIt() {
        ScriptedDialogs dialogs;
        QTemporaryDir dir;
        TSimulatorThread a, b;
        TIniFile ini(dir.filePath(QStringLiteral("t.ini")));
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM2"), a.sim.SlavePath());
        ini.WriteString(QStringLiteral("RS232"), QStringLiteral("COM5"), b.sim.SlavePath());
        TSerialLink link;
        link.ChoosePortDialog = [](const QList<TPortChoice>& ports, int current) {
            return RunPortNumberDlg(ports, current);
        };
        link.LoadSettings(ini);
        QCOMPARE(link.PortNumber, 2);
        dialogs.onExec = [](QDialog* d) {
            Combo(d)->setCurrentIndex(1);
            return int(QDialog::Accepted);
        };
        link.ChoosePort();
        link.SetPortOpen(false);
        QCOMPARE(link.PortNumber, 5);
        link.SetPortOpen(true);
        link.ReplyTimeout = 100;
        link.Request(244, 1, 9);
        QCOMPARE(b.sim.Requests(), 1);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestPortDialog t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_port_dialog.moc"
