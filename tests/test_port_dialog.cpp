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
#include <QTimer>
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
        QList<TPortChoice> ports = {
            {1, QStringLiteral("/dev/ttyS0"), {}, false},
            {3, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), false},
            {4, QStringLiteral("/dev/ttyACM0"), {}, true},
        };
        ports[2].state.kind = TOpenFailure::Kind::PermissionDenied;
        ports[2].state.path = ports[2].devicePath;
        ports[2].state.group = QStringLiteral("dialout");
        ports[2].state.groupMayOpen = true;
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

    // Adapters plugged in and pulled out while the dialog is open: the list
    // follows its source once a second, and the user's choice stays chosen.
    void theListFollowsAdaptersComingAndGoing() {
        ScriptedDialogs dialogs;
        const TPortChoice s0{1, QStringLiteral("/dev/ttyS0"), {}, false};
        const TPortChoice usb{3, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R"), false};
        const TPortChoice acm{4, QStringLiteral("/dev/ttyACM0"), {}, false};
        QList<TPortChoice> source = {s0, usb};
        int scans = 0;
        QStringList steps;
        dialogs.onExec = [&](QDialog* d) {
            auto* dlg = qobject_cast<TPortNumberDlg*>(d);
            QComboBox* pcb = Combo(d);
            const auto state = [&] {
                QStringList numbers;
                for (int i = 0; i < pcb->count(); ++i)
                    numbers << pcb->itemText(i).section(QLatin1Char(' '), 0, 0);
                return numbers.join(QLatin1Char(',')) + QLatin1Char('/') +
                       (pcb->currentIndex() < 0
                            ? QStringLiteral("-")
                            : pcb->currentText().section(QLatin1Char(' '), 0, 0)) +
                       (Ok(d)->isEnabled() ? QString() : QStringLiteral(" no OK"));
            };
            steps << QString::number(dlg->RescanTimer->interval() * dlg->RescanTimer->isActive());
            pcb->setCurrentIndex(1); // the user takes COM3
            source = {acm, s0, usb};
            dlg->Rescan();
            steps << state();
            source = {s0, acm}; // COM3 pulled out
            dlg->Rescan();
            steps << state();
            source = {s0, usb, acm}; // and back
            dlg->Rescan();
            steps << state();
            return int(QDialog::Accepted);
        };
        const std::optional<int> chosen = RunPortNumberDlg(source, 1, nullptr, [&] {
            ++scans;
            return source;
        });
        QCOMPARE(steps, QStringList({QStringLiteral("1000"), QStringLiteral("COM4,COM1,COM3/COM3"),
                                     QStringLiteral("COM1,COM4/- no OK"),
                                     QStringLiteral("COM1,COM3,COM4/COM3")}));
        QCOMPARE(scans, 3);
        QCOMPARE(chosen, std::optional<int>(3));
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
