#include "shell/just_one.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestSingleInstance : public QObject {
    Q_OBJECT
    QTemporaryDir runtime;

    QProcess* Start() {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p->setProcessEnvironment(env);
        p->start(qEnvironmentVariable("TRIPCONF_BIN") + QStringLiteral("/tripconf"), {});
        return p;
    }
    QString LockPath() { return runtime.filePath(QStringLiteral("tripconf.lock")); }

private slots:
    void inProcessSecondGuardIsRefused() {
        QTemporaryDir d;
        TJustOne first(QStringLiteral("x"), d.path());
        QVERIFY(first.Owned());
        TJustOne second(QStringLiteral("x"), d.path());
        QVERIFY(!second.Owned());
        TJustOne other(QStringLiteral("y"), d.path());
        QVERIFY(other.Owned());
    }

    void secondCopyEndsAtOnceAndFirstGoesOn() {
        QProcess* first = Start();
        QVERIFY(first->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(LockPath()), 10000);

        QProcess* second = Start();
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        // A copy that crashed leaves its lock; the next start takes it over.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(5000));
        QVERIFY(QFile::exists(LockPath()));
        QProcess* third = Start();
        QVERIFY(third->waitForStarted());
        QVERIFY(!third->waitForFinished(1500));
        third->kill();
        third->waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
