#ifndef TALVORI_SERVERACCOUNT_H
#define TALVORI_SERVERACCOUNT_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The account that database server processes started by the tests run under. MariaDB's server and
// PostgreSQL's initdb refuse to run as root, so when the tests run as root (as in CI) those
// processes are started through runuser as an unprivileged account that scripts/testuser creates;
// otherwise they simply run as the current user.
class ServerAccount
{
public:
    // The account name: the current user, or TALVORI_TEST_USER (default "talvoritest") as root.
    static QString name();
    // True when processes must switch to name() (the tests run as root).
    static bool switchesUser();
    // Creates the account when it is missing (root only, through scripts/testuser). False with a
    // message in *error when it cannot be had.
    static bool ensureExists(QString *error);
    // Gives the account ownership of path (and everything below it) when processes switch users,
    // so the servers can write their data and socket directories.
    static bool handOver(const QString &path, QString *error);
    // Makes path and its parents up to "/" traversable by the account (o+x on directories the
    // tests created themselves, like a QTemporaryDir, which starts out private).
    static bool makeTraversable(const QString &path);

    // Sets up process to run program with arguments as the account, in exactly environment (not
    // the caller's), and to receive SIGTERM when the test program dies, so no server outlives a
    // crashed test.
    static void prepare(QProcess &process, const QString &program, const QStringList &arguments,
                        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    // Looks for a program on PATH and then in the given directories plus the system
    // administrator directories, which are not on an ordinary user's PATH. With
    // TALVORI_TEST_SERVER_PATH set, only there: tests use it to play a machine without servers.
    static QString findProgram(const QStringList &names, const QStringList &extraDirs = QStringList());
};

#endif
