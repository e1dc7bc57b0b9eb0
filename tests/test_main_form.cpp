#include "cancel_click.h"
#include "core/app_ini.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "scripted_dialogs.h"
#include "shell/main_form.h"
#include "shell/progress_form.h"
#include "support/errors.h"
#include "support/ini_file.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "ui/translation.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace {

void Click(QWidget* parent, const char* name) {
    auto* b = parent->findChild<QAbstractButton*>(QString::fromLatin1(name));
    QVERIFY2(b, name);
    QVERIFY2(b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

bool StepsEnabled(QWidget* form) {
    bool all = true, any = false;
    for (const char* n : {"bEditParams", "bSaveParams", "bSetParams"}) {
        const bool e = form->findChild<QPushButton*>(QString::fromLatin1(n))->isEnabled();
        all = all && e;
        any = any || e;
    }
    if (all != any)
        qWarning("step buttons disagree");
    return all;
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An object whose event handler throws, as a failing command would.
class Thrower : public QObject {
protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw TripError(QStringLiteral("boom"));
        return QObject::event(e);
    }
};

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
    // The machine's serial port is not these tests' business, and a window
    // of another test may hold it: that one would report no free port.
    QString NoDevice() { return Path("no-device"); }

    // A settings file with a known version and image.
    QString MakeSettingsFile(const char* name, uint16_t version) {
        TMK mk;
        mk.Version = version;
        mk.Image = QByteArray(2048, char(0x3C));
        SaveSettingsFile(mk, Path(name));
        return Path(name);
    }

private slots:
    // Each test starts without the INI file an earlier one left.
    void init() { QFile::remove(TMIniFile::DefaultFileName()); }

    void startsWithTheWorkflowAndStepsDisabled() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), QSize(810, 470));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!StepsEnabled(&form));
        for (const char* n : {"bRS232", "bGetParams", "bLoadParams", "cbEnglishVersion"})
            QVERIFY(form.findChild<QWidget*>(QString::fromLatin1(n))->isEnabled());
        QCOMPARE(form.windowTitle(),
                 QStringLiteral("Просмотр и настройка параметров МК (Версия 12.03.26)"));
        QCOMPARE(form.findChild<QPushButton*>("bGetParams")->text(),
                 QStringLiteral("Считать настройки из МК"));
        QCOMPARE(form.findChild<QGroupBox*>("GroupBox4")->title(), QStringLiteral("Шаг 4"));
        QCOMPARE(form.findChild<QCheckBox*>("cbEnglishVersion")->text(),
                 QStringLiteral("English language"));
        QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
        QVERIFY(!form.Modified);
        QVERIFY(form.MK());
    }

    // A language is one more .ts file: the pseudo-translation built into this
    // test as "qps" marks every text it translates, and the INI chooses it.
    // No text of the window, its boxes or a transfer is left unmarked.
    void aTranslationReachesEveryWindowText() {
        QVERIFY(AvailableTranslations().contains(QStringLiteral("qps")));
        // A window started with the INI's Translation set to code.
        const auto windowIn = [this](const char* code) {
            TIniFile(TMIniFile::DefaultFileName())
                .WriteString(QStringLiteral("Common"), QStringLiteral("Translation"),
                             QString::fromLatin1(code));
            auto form = std::make_unique<TMainForm>();
            form->DemoDevicePath = NoDevice();
            form->show();
            return form;
        };
        ScriptedDialogs dialogs;
        const std::unique_ptr<TMainForm> shown = windowIn("qps");
        TMainForm& form = *shown;
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const auto marked = [](const QString& text) {
            return text.isEmpty() ||
                   (text.contains(QStringLiteral("⟦")) && text.contains(QStringLiteral("⟧")));
        };
        QStringList plain;
        const auto check = [&](const QString& what, const QString& text) {
            if (!marked(text))
                plain << what + QStringLiteral(": ") + text;
        };
        check(QStringLiteral("title"), form.windowTitle());
        for (QWidget* w : form.findChildren<QWidget*>()) {
            const QString name = w->objectName();
            check(name + QStringLiteral(" accessible"), w->accessibleName());
            if (auto* l = qobject_cast<QLabel*>(w))
                check(name, l->text());
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                check(name, b->text());
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                check(name, g->title());
        }
        // A box, its title and the transfer's own text: a read from no device.
        Click(&form, "bGetParams");
        QVERIFY(!dialogs.messages.isEmpty());
        for (const auto& m : dialogs.messages) {
            check(QStringLiteral("box title"), m.title);
            check(QStringLiteral("box"), m.text);
        }
        QVERIFY2(plain.isEmpty(), qPrintable(plain.join(QLatin1Char('\n'))));
        form.close();
        QVERIFY(SetWindowTranslation(QStringLiteral("ru")));

        // A translation the program does not hold: said once, in the
        // window's language, and the window stays Russian.
        ScriptedDialogs unknown;
        const std::unique_ptr<TMainForm> shownPlain = windowIn("xx");
        TMainForm& plainForm = *shownPlain;
        QVERIFY(QTest::qWaitForWindowExposed(&plainForm));
        QCOMPARE(unknown.messages.size(), 1);
        QCOMPARE(unknown.messages[0].kind, MessageKind::Info);
        QCOMPARE(unknown.messages[0].text,
                 QStringLiteral("Перевод «xx», указанный в INI-файле, недоступен (в программе "
                                "есть: qps, ru); вместо него используется русский."));
        QCOMPARE(WindowTranslation(), QStringLiteral("ru"));
        QCOMPARE(plainForm.findChild<QGroupBox*>("GroupBox4")->title(), QStringLiteral("Шаг 4"));
        Click(&plainForm, "cbEnglishVersion");
        Click(&plainForm, "cbEnglishVersion");
        QCOMPARE(unknown.messages.size(), 1);
        plainForm.close();
    }

    void loadEnablesStepsAndKeepsModified() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        form.Modified = true;
        dialogs.openNames.enqueue(MakeSettingsFile("load.tarvg", 321));
        Click(&form, "bLoadParams");
        QVERIFY(StepsEnabled(&form));
        QCOMPARE(form.MK()->Version, uint16_t(321));
        QCOMPARE(form.MK()->Image.size(), 2048);
        QVERIFY(form.Modified);
        const auto& o = dialogs.fileDialogs.last();
        QCOMPARE(o.filter, QStringLiteral("Файлы настроек (*.tarvg)"));
        QCOMPARE(o.defaultSuffix, QStringLiteral("tarvg"));
        QCOMPARE(o.directory, QCoreApplication::applicationDirPath());

        // Even an empty file counts as a load.
        QFile empty(Path("empty.tarvg"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        dialogs.openNames.enqueue(Path("empty.tarvg"));
        Click(&form, "bLoadParams");
        QVERIFY(StepsEnabled(&form));
        // Each load first offered to save the edits; No goes on.
        QCOMPARE(dialogs.Count(MessageKind::Question), 2);
        QCOMPARE(dialogs.messages.size(), 2);
    }

    void failedLoadShowsErrorAndDisablesSteps() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        dialogs.openNames.enqueue(MakeSettingsFile("good.tarvg", 1));
        Click(&form, "bLoadParams");
        QVERIFY(StepsEnabled(&form));
        const QByteArray image = form.MK()->Image;

        dialogs.openNames.enqueue(Path("absent.tarvg"));
        Click(&form, "bLoadParams");
        QCOMPARE(dialogs.Count(MessageKind::Error), 1);
        QCOMPARE(dialogs.messages.last().title, QStringLiteral("Error"));
        QVERIFY(dialogs.messages.last().text.contains(QStringLiteral("absent.tarvg")));
        QVERIFY(!StepsEnabled(&form));
        QCOMPARE(form.MK()->Image, image);

        // Cancelling the dialog does nothing at all.
        Click(&form, "bLoadParams");
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(!StepsEnabled(&form));
    }

    void saveAsksBeforeOverwriting() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        dialogs.openNames.enqueue(MakeSettingsFile("src.tarvg", 77));
        Click(&form, "bLoadParams");
        form.Modified = true;

        const QString target = Path("target.tarvg");
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();

        dialogs.saveNames.enqueue(target);
        dialogs.answers.enqueue(7); // No
        Click(&form, "bSaveParams");
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("Файл уже существует. Переписать?"));
        QCOMPARE(dialogs.messages.last().title, QStringLiteral("Confirm"));
        QCOMPARE(Read(target), QByteArray("old"));
        QVERIFY(form.Modified);

        dialogs.saveNames.enqueue(target);
        dialogs.answers.enqueue(6); // Yes
        Click(&form, "bSaveParams");
        QCOMPARE(Read(target).size(), 2050);
        QVERIFY(!form.Modified);

        // A new name asks nothing.
        const int asked = dialogs.messages.size();
        form.Modified = true;
        dialogs.saveNames.enqueue(Path("fresh.tarvg"));
        Click(&form, "bSaveParams");
        QCOMPARE(dialogs.messages.size(), asked);
        QCOMPARE(Read(Path("fresh.tarvg")), Read(target));
        QVERIFY(!form.Modified);
    }

    void failedSaveGoesToTheGeneralHandler() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        dialogs.openNames.enqueue(MakeSettingsFile("x.tarvg", 1));
        Click(&form, "bLoadParams");
        form.Modified = true;
        dialogs.saveNames.enqueue(Path("no/such/folder/y.tarvg"));
        Click(&form, "bSaveParams");
        QCOMPARE(dialogs.Count(MessageKind::Exception), 1);
        QVERIFY(dialogs.messages.last().text.contains(QStringLiteral("y.tarvg")));
        QVERIFY(form.Modified);
        QVERIFY(StepsEnabled(&form));
    }

    // The question before closing, a device read or a file load: a Yes that
    // writes no file (save dialog cancelled, overwrite refused, save failed)
    // stops the command and keeps the edits.
    void unsavedEditsAskFirst_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("saveName");
        QTest::addColumn<bool>("goesOn");
        QTest::addColumn<bool>("saved");
        const QString fresh = QStringLiteral("fresh.tarvg"), old = QStringLiteral("old.tarvg"),
                      bad = QStringLiteral("no/such/dir/x.tarvg");

        for (const QString command : {"close", "read", "load"}) {
            auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow(
                           qPrintable(command + QLatin1String(": ") + QLatin1String(name)))
                       << command;
            };
            row("no") << QList<int>{7} << QString() << true << false;
            row("yes, then save") << QList<int>{6} << fresh << true << true;
            row("yes, overwrite yes") << QList<int>{6, 6} << old << true << true;
            row("yes, cancel the save dialog") << QList<int>{6} << QString() << false << false;
            row("yes, overwrite no") << QList<int>{6, 7} << old << false << false;
            row("yes, the save fails") << QList<int>{6} << bad << false << false;
        }
    }
    void unsavedEditsAskFirst() {
        QFETCH(QString, command);
        QFETCH(QList<int>, answers);
        QFETCH(QString, saveName);
        QFETCH(bool, goesOn);
        QFETCH(bool, saved);
        ScriptedDialogs dialogs;
        TMainForm form;
        // No device there: a read that runs ends with the port's error.
        form.DemoDevicePath = NoDevice();
        form.show();
        dialogs.openNames.enqueue(MakeSettingsFile("held.tarvg", 11));
        Click(&form, "bLoadParams");
        form.MK()->Image[5] = char(0x55);
        form.Modified = true;
        const QString target = dir.filePath(saveName);
        QFile::remove(target);
        if (saveName == QLatin1String("old.tarvg")) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        for (int a : answers)
            dialogs.answers.enqueue(a);
        dialogs.saveNames.enqueue(saveName.isEmpty() ? QString() : target);

        bool wentOn = false;
        if (command == QLatin1String("close")) {
            wentOn = form.close();
            QCOMPARE(form.isVisible(), !wentOn);
        } else if (command == QLatin1String("read")) {
            // The read went on when it tried the port, which is not there.
            Click(&form, "bGetParams");
            wentOn = dialogs.messages.last().text.startsWith(QStringLiteral("Выбранный порт"));
            if (wentOn)
                dialogs.messages.removeLast();
        } else {
            dialogs.openNames.enqueue(MakeSettingsFile("other.tarvg", 22));
            Click(&form, "bLoadParams");
            wentOn = form.MK()->Version == 22;
            QCOMPARE(dialogs.openNames.isEmpty(), wentOn);
        }
        QCOMPARE(dialogs.Count(MessageKind::Question), answers.size());
        QCOMPARE(dialogs.messages.first().text,
                 QStringLiteral("Возможно, настройки были изменены, но не сохранены на диске. "
                                "Сохранить?"));
        QCOMPARE(wentOn, goesOn);
        const bool failing = saveName.startsWith(QLatin1String("no/"));
        QCOMPARE(dialogs.Count(MessageKind::Exception), failing ? 1 : 0);
        QCOMPARE(form.Modified, !saved);
        QVERIFY(StepsEnabled(&form));
        if (saved)
            QCOMPARE(Read(target).size(), 2050);
        else if (saveName == QLatin1String("old.tarvg"))
            QCOMPARE(Read(target), QByteArray("old"));
        if (!goesOn && command != QLatin1String("close"))
            QCOMPARE(form.MK()->Image[5], char(0x55));
    }

    void closingWithoutEditsAsksNothing() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        QVERIFY(form.close());
        QVERIFY(dialogs.messages.isEmpty());
    }

    // A name that exists as typed opens as typed (a file tripconf-cli wrote
    // without the extension); otherwise the extension is added.
    void openDialogNames_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("opened");
        QTest::newRow("exists as typed") << QStringList{"backup", "backup.tarvg"} << "backup"
                                         << "backup";
        QTest::newRow("exists with the extension") << QStringList{"backup.tarvg"} << "backup"
                                                   << "backup.tarvg";
        QTest::newRow("another extension") << QStringList{"b.bin"} << "b.bin"
                                           << "b.bin";
        QTest::newRow("typed in full") << QStringList{"c.tarvg"} << "c.tarvg"
                                       << "c.tarvg";
        QTest::newRow("nothing there") << QStringList{} << "gone"
                                       << "gone.tarvg";
    }
    void openDialogNames() {
        QFETCH(QStringList, files);
        QFETCH(QString, typed);
        QFETCH(QString, opened);
        QTemporaryDir folder;
        for (const QString& f : files) {
            QFile file(folder.filePath(f));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(OpenDialogFileName(folder.filePath(typed), QStringLiteral("tarvg")),
                 folder.filePath(opened));
        if (files.isEmpty())
            return; // the real dialog would refuse it with a box of its own
        // The dialog itself, accepted without a modal loop.
        TOpenFileDialog d(nullptr, {QString(), QStringLiteral("Файлы настроек (*.tarvg)"),
                                    QStringLiteral("tarvg"), folder.path()});
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.selectFile(typed);
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.selectedFiles(), QStringList{folder.filePath(opened)});
    }

    // The file dialogs start in the program's folder when the user may write
    // there, else at home. The ordinary user's view is checked in a copy of
    // this test run as that user.
    void fileDialogsStartWhereTheUserCanWrite() {
        const QString program = QCoreApplication::applicationDirPath();
        const bool asUser = qEnvironmentVariableIsSet("TRIPCONF_TEST_AS_USER");
        if (!asUser) {
            QCOMPARE(FileDialogFolder(dir.path()), dir.path());
            QCOMPARE(FileDialogFolder(Path("absent")), QDir::homePath());
        }
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        Click(&form, "bLoadParams");
        const bool writable = ::access(QFile::encodeName(program).constData(), W_OK) == 0;
        QCOMPARE(dialogs.fileDialogs.last().directory, writable ? program : QDir::homePath());
        if (asUser) {
            QVERIFY(!writable);
            return;
        }
        if (::geteuid() != 0)
            return;
        QTemporaryDir home;
        QVERIFY(QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777)));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TRIPCONF_TEST_AS_USER"), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups",
                                                QCoreApplication::applicationFilePath(),
                                                "fileDialogsStartWhereTheUserCanWrite"});
        if (!child.waitForStarted())
            QSKIP("setpriv is not available");
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAll();
        if (out.contains("setpriv:"))
            QSKIP(out.constData());
        QVERIFY2(child.exitCode() == 0, out.constData());
    }

    void languageSwitchChangesCaptions() {
        ScriptedDialogs dialogs;
        TMainForm form;
        form.DemoDevicePath = NoDevice();
        form.show();
        Click(&form, "cbEnglishVersion");
        QCOMPARE(form.findChild<QPushButton*>("bLoadParams")->text(),
                 QStringLiteral("Read settings from a file on disk"));
        QCOMPARE(form.findChild<QGroupBox*>("GroupBox1")->title(), QStringLiteral("Step 1"));
        form.Modified = true;
        dialogs.answers.enqueue(7);
        form.close();
        QCOMPARE(dialogs.messages.last().text,
                 QStringLiteral("It is possible that the settings were changed, but not saved "
                                "to disk. Save it?"));
        Click(&form, "cbEnglishVersion");
        QCOMPARE(form.findChild<QPushButton*>("bLoadParams")->text(),
                 QStringLiteral("Считать настройки из файла на диске"));
    }

    void generalHandlerShowsEscapedExceptions() {
        ScriptedDialogs dialogs;
        RunGuarded([] { throw TripError(QStringLiteral("from a command")); });
        QCOMPARE(dialogs.Count(MessageKind::Exception), 1);
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("from a command"));

        // An event handler that throws: the application object shows it and goes on.
        Thrower t;
        QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.Count(MessageKind::Exception), 2);
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("boom"));
        RunGuarded([] { throw std::runtime_error("plain"); });
        QCOMPARE(dialogs.messages.last().text, QStringLiteral("plain"));
    }

    void progressFormCountsCancelAndCannotClose() {
        TProgressForm p;
        p.show();
        QCOMPARE(p.windowTitle(), QStringLiteral("Progress..."));
        QCOMPARE(p.size(), QSize(261, 113));
        QCOMPARE(p.ProgressLabel->text(), QStringLiteral("Прогресс"));
        QCOMPARE(p.ProgressGauge->maximum(), 100);
        QVERIFY(!p.Cancelled);
        QTest::mouseClick(p.BitBtn1, Qt::LeftButton);
        QTest::mouseClick(p.BitBtn1, Qt::LeftButton);
        QVERIFY(p.Cancelled);
        QVERIFY(!p.close());
        QVERIFY(p.isVisible());
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestMainForm t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_main_form.moc"
