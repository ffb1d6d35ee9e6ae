#include "serveraccount.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

#ifndef TALVORI_SOURCE_DIR
#define TALVORI_SOURCE_DIR "."
#endif

static QString currentUserName()
{
    const passwd *pw = ::getpwuid(::geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
}

bool ServerAccount::switchesUser()
{
    return ::geteuid() == 0;
}

QString ServerAccount::name()
{
    if (!switchesUser())
        return currentUserName();
    const QString configured = qEnvironmentVariable("TALVORI_TEST_USER");
    return configured.isEmpty() ? QStringLiteral("talvoritest") : configured;
}

bool ServerAccount::ensureExists(QString *error)
{
    if (!switchesUser())
        return true;
    const QByteArray account = name().toLocal8Bit();
    if (::getpwnam(account.constData()))
        return true;
    const QString script = QStringLiteral(TALVORI_SOURCE_DIR "/scripts/testuser");
    QProcess process;
    process.start(script, QStringList());
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
        || !::getpwnam(account.constData())) {
        *error = QStringLiteral("the tests run as root and the unprivileged account %1 for the database servers "
                                "could not be created with %2: %3")
                     .arg(name(), script, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

bool ServerAccount::handOver(const QString &path, QString *error)
{
    if (!switchesUser())
        return true;
    const QByteArray account = name().toLocal8Bit();
    const passwd *pw = ::getpwnam(account.constData());
    if (!pw) {
        *error = QStringLiteral("no account %1").arg(name());
        return false;
    }
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    QStringList paths{path};
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    for (const QString &p : std::as_const(paths)) {
        if (::lchown(QFile::encodeName(p).constData(), uid, gid) != 0) {
            *error = QStringLiteral("cannot hand %1 over to %2").arg(p, name());
            return false;
        }
    }
    return true;
}

bool ServerAccount::makeTraversable(const QString &path)
{
    QString dir = QFileInfo(path).absoluteFilePath();
    bool ok = true;
    while (!dir.isEmpty() && dir != QLatin1String("/")) {
        QFile file(dir);
        const QFileDevice::Permissions perms = file.permissions();
        if (!(perms & QFileDevice::ExeOther) && QFileInfo(dir).isDir())
            ok = file.setPermissions(perms | QFileDevice::ExeGroup | QFileDevice::ExeOther) && ok;
        dir = QFileInfo(dir).path();
    }
    return ok;
}

void ServerAccount::prepare(QProcess &process, const QString &program, const QStringList &arguments,
                            const QProcessEnvironment &environment)
{
    process.setProcessEnvironment(environment);
    if (switchesUser()) {
        // runuser resets HOME, USER and the like for the target account; env puts back exactly the
        // environment the test chose, except a temporary directory private to the caller, which
        // the account could not write to. One handed over to the account stays.
        QProcessEnvironment forAccount = environment;
        const QString tmpDir = forAccount.value(QStringLiteral("TMPDIR"));
        const passwd *pw = ::getpwnam(name().toLocal8Bit().constData());
        if (!tmpDir.isEmpty() && (!pw || QFileInfo(tmpDir).ownerId() != pw->pw_uid))
            forAccount.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
        QStringList wrapped{QStringLiteral("-u"), name(), QStringLiteral("--"), QStringLiteral("env"),
                            QStringLiteral("-i")};
        const QStringList keys = forAccount.keys();
        for (const QString &key : keys)
            wrapped.append(key + QLatin1Char('=') + forAccount.value(key));
        wrapped.append(program);
        wrapped.append(arguments);
        QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        if (runuser.isEmpty())
            runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"),
                                                     {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        process.setProgram(runuser);
        process.setArguments(wrapped);
    } else {
        process.setProgram(program);
        process.setArguments(arguments);
    }
    // runuser passes SIGTERM on to its child, and a server that gets it shuts down cleanly.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

QString ServerAccount::findProgram(const QStringList &names, const QStringList &extraDirs)
{
    const QString only = qEnvironmentVariable("TALVORI_TEST_SERVER_PATH");
    if (!only.isEmpty()) {
        for (const QString &n : names) {
            const QString found = QStandardPaths::findExecutable(n, only.split(QLatin1Char(':')));
            if (!found.isEmpty())
                return found;
        }
        return QString();
    }
    const QStringList dirs = extraDirs
        + QStringList{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin")};
    for (const QString &n : names) {
        QString found = QStandardPaths::findExecutable(n);
        if (found.isEmpty())
            found = QStandardPaths::findExecutable(n, dirs);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}
