#pragma once

// Permission checks mean nothing to root, who may write anything. Such cases
// run a program as an ordinary user made for the purpose (useradd), through
// setpriv; a test program runs itself with "--as-user ..." arguments, which
// its main() hands to the piece under test.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>
#include <pwd.h>
#include <unistd.h>

struct TestUser {
    uid_t uid;
    gid_t gid;
};

// The ordinary user, made on first use; none when the tests do not run as
// root or the user cannot be made.
inline std::optional<TestUser> OrdinaryUser() {
    if (::geteuid() != 0)
        return std::nullopt;
    const char* name = "tripconf-test";
    if (!::getpwnam(name))
        QProcess::execute(QStringLiteral("useradd"),
                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--home-dir"), QStringLiteral("/nonexistent"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                           QString::fromLatin1(name)});
    const passwd* pw = ::getpwnam(name);
    if (!pw)
        return std::nullopt;
    return TestUser{pw->pw_uid, pw->pw_gid};
}

inline bool GiveTo(const TestUser& u, const QString& path) {
    return ::chown(QFile::encodeName(path).constData(), u.uid, u.gid) == 0;
}

// Starts program as the user; the caller waits for it.
inline void StartAsUser(QProcess& p, const TestUser& u, const QString& program,
                        const QStringList& args) {
    p.start(QStringLiteral("setpriv"),
            QStringList{QStringLiteral("--reuid=%1").arg(u.uid),
                        QStringLiteral("--regid=%1").arg(u.gid), QStringLiteral("--clear-groups"),
                        QStringLiteral("--")} +
                QStringList{program} + args);
}

struct UserRun {
    int code = -1; // -1: did not start or end
    QString out;   // standard output and error
};

// This test program run as the user with "--as-user" and args.
inline UserRun
RunSelfAsUser(const TestUser& u, const QStringList& args,
              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    StartAsUser(p, u, QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--as-user")} + args);
    UserRun r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.out = QString::fromUtf8(p.readAll()).trimmed();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}
