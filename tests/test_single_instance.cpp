#include "as_user.h"
#include "shell/just_one.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

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

    // Without a runtime folder the lock goes to a private folder of the
    // user's, never to the temporary folder all users share.
    void lockWithoutARuntimeFolderIsTheUsers() {
        QTemporaryDir cache;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        const QString folder = TJustOne::UserLockFolder();
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("XDG_CACHE_HOME", cacheHome);
        QCOMPARE(folder, cache.filePath(QStringLiteral("tripconf")));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(folder).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0700));
    }

    // su, sudo, cron: no runtime folder. Another user's running copy does
    // not stop this user's start.
    void anotherUsersCopyDoesNotStopThisOne() {
        const auto user = OrdinaryUser();
        if (!user)
            QSKIP("needs root and useradd to run as an ordinary user");
        QTemporaryDir base;
        QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
        const QString shared = base.filePath(QStringLiteral("tmp"));
        const QString theirs = base.filePath(QStringLiteral("theirs"));
        const QString mine = base.filePath(QStringLiteral("mine"));
        for (const QString& d : {shared, theirs, mine})
            QVERIFY(QDir().mkdir(d));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        QVERIFY(GiveTo(*user, theirs));
        const auto environment = [&](const QString& cache) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            env.insert(QStringLiteral("TMPDIR"), shared);
            env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), cache);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            return env;
        };
        const QString program = qEnvironmentVariable("TRIPCONF_BIN") + QStringLiteral("/tripconf");
        QProcess other;
        other.setProcessEnvironment(environment(theirs));
        StartAsUser(other, *user, program, {});
        QVERIFY(other.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(theirs + QStringLiteral("/tripconf/tripconf.lock")) ||
                QFile::exists(shared + QStringLiteral("/tripconf.lock")),
            10000);

        QProcess* started = new QProcess(this);
        started->setProcessEnvironment(environment(mine));
        started->start(program, {});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mine + QStringLiteral("/tripconf/tripconf.lock")),
                                 10000);
        QCOMPARE(started->state(), QProcess::Running);
        QCOMPARE(other.state(), QProcess::Running);
        for (QProcess* p : {&other, started}) {
            p->kill();
            p->waitForFinished(5000);
        }
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
