#include "commandrun.h"
#include "installedtree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The Debian package CPack makes of the build tree: what it holds and where, the bus service file
// and the user unit naming the program where the package puts it, the dependencies and
// configuration files it declares, and what Debian's own checker says of it.
class DebianPackageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void contents_data();
    void contents();
    void serviceFilesNameThePackagedServer_data();
    void serviceFilesNameThePackagedServer();
    void controlFields_data();
    void controlFields();
    void lintianFindsNoErrors();

private:
    CommandRun dpkgDeb(const QStringList &arguments) const;

    QTemporaryDir m_dir;
    QString m_package;
    QString m_contents;
};

void DebianPackageTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
        QSKIP("dpkg-deb is not installed (dpkg)");
    const CommandRun packed = CommandRun::run(
        InstalledTree::cpackCommand(),
        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
         InstalledTree::buildDir() + QLatin1String("/CPackConfig.cmake"), QStringLiteral("-B"), m_dir.path()},
        m_dir.path());
    QVERIFY2(packed.ok(), qPrintable(packed.describe()));
    const QStringList packages = QDir(m_dir.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(packages.size(), 1);
    m_package = m_dir.filePath(packages.first());

    const CommandRun listed = dpkgDeb({QStringLiteral("--contents"), m_package});
    QVERIFY2(listed.ok(), qPrintable(listed.describe()));
    m_contents = QString::fromUtf8(listed.output());
}

CommandRun DebianPackageTest::dpkgDeb(const QStringList &arguments) const
{
    return CommandRun::run(QStringLiteral("dpkg-deb"), arguments);
}

void DebianPackageTest::contents_data()
{
    QTest::addColumn<QString>("path");
    const QString lib = QStringLiteral("./usr/" TALVORI_INSTALL_LIBDIR "/");
    QTest::newRow("server") << QStringLiteral("./usr/bin/talvoriserver");
    QTest::newRow("server library") << lib + QLatin1String("libtalvoriprivate.so.1");
    QTest::newRow("bus service") << QStringLiteral("./usr/share/dbus-1/services/org.freedesktop.Talvori.service");
    QTest::newRow("user unit") << QStringLiteral("./usr/lib/systemd/user/talvoriserver.service");
    QTest::newRow("configuration template in /etc") << QStringLiteral("./etc/xdg/talvori/mysql-global.conf");
    QTest::newRow("graph plug-in") << lib + QLatin1String("talvori/plugins/grix_graphml.so");
    QTest::newRow("map render plug-in") << lib + QLatin1String("talvori/plugins/libShapeLayerPlugin.so");
    QTest::newRow("CMake package") << lib + QLatin1String("cmake/Talvori/TalvoriConfig.cmake");
    QTest::newRow("copyright") << QStringLiteral("./usr/share/doc/talvori/copyright");
}

void DebianPackageTest::contents()
{
    QFETCH(QString, path);
    // "mode owner size date time path", with " -> target" after a link.
    const QRegularExpression line(QLatin1String(" ") + QRegularExpression::escape(path) + QLatin1String("( -> .*)?$"),
                                  QRegularExpression::MultilineOption);
    QVERIFY2(line.match(m_contents).hasMatch(), qPrintable(path + QLatin1String(" is not in:\n") + m_contents));
}

void DebianPackageTest::serviceFilesNameThePackagedServer_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::newRow("bus service") << QStringLiteral("usr/share/dbus-1/services/org.freedesktop.Talvori.service")
                                 << QStringLiteral("Exec=/usr/bin/talvoriserver");
    QTest::newRow("user unit") << QStringLiteral("usr/lib/systemd/user/talvoriserver.service")
                               << QStringLiteral("ExecStart=/usr/bin/talvoriserver");
}

void DebianPackageTest::serviceFilesNameThePackagedServer()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    const QString root = m_dir.filePath(QStringLiteral("root"));
    if (!QFileInfo(root).isDir()) {
        const CommandRun extracted = dpkgDeb({QStringLiteral("-x"), m_package, root});
        QVERIFY2(extracted.ok(), qPrintable(extracted.describe()));
    }
    QFile installed(root + QLatin1Char('/') + file);
    QVERIFY(installed.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(installed.readAll()).split(QLatin1Char('\n'));
    QVERIFY2(lines.contains(line), qPrintable(lines.join(QLatin1Char('\n'))));
}

void DebianPackageTest::controlFields_data()
{
    QTest::addColumn<QStringList>("query");
    QTest::addColumn<QString>("expected");
    const QStringList depends{QStringLiteral("--field"), QStringLiteral("Depends")};
    // What the binaries link, found by dpkg-shlibdeps.
    QTest::newRow("linked Qt") << depends << QStringLiteral("libqt6core6");
    QTest::newRow("linked SQLite") << depends << QStringLiteral("libsqlite3-0");
    // What the server needs at run time without linking it.
    QTest::newRow("session bus") << depends << QStringLiteral("default-dbus-session-bus | dbus-session-bus");
    QTest::newRow("default database driver") << depends << QStringLiteral("libqt6sql6-mysql");
    QTest::newRow("default database server")
        << QStringList{QStringLiteral("--field"), QStringLiteral("Recommends")} << QStringLiteral("mariadb-server");
    QTest::newRow("configuration files") << QStringList{QStringLiteral("--info"), QStringLiteral("conffiles")}
                                         << QStringLiteral("/etc/xdg/talvori/mysql-global.conf");
    QTest::newRow("loader cache trigger") << QStringList{QStringLiteral("--info"), QStringLiteral("triggers")}
                                          << QStringLiteral("activate-noawait ldconfig");
    QTest::newRow("libraries for other packages") << QStringList{QStringLiteral("--info"), QStringLiteral("shlibs")}
                                                  << QStringLiteral("libtalvoriprotocolinternals 1 talvori");
}

void DebianPackageTest::controlFields()
{
    QFETCH(QStringList, query);
    QFETCH(QString, expected);
    QStringList arguments = query;
    arguments.insert(1, m_package);
    const CommandRun asked = dpkgDeb(arguments);
    QVERIFY2(asked.ok(), qPrintable(asked.describe()));
    QVERIFY2(QString::fromUtf8(asked.output()).contains(expected), qPrintable(asked.describe()));
}

void DebianPackageTest::lintianFindsNoErrors()
{
    if (QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
        QSKIP("lintian is not installed (scripts/deps installs it)");
    const CommandRun checked = CommandRun::run(QStringLiteral("lintian"), {QStringLiteral("--no-tag-display-limit"), m_package});
    QStringList errors;
    for (const QByteArray &line : checked.output().split('\n')) {
        if (line.startsWith("E: "))
            errors.append(QString::fromUtf8(line));
        else if (line.startsWith("W: "))
            qInfo().noquote() << "lintian:" << line;
    }
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    // Lintian exits non-zero on errors only; anything else means it did not check the package.
    QVERIFY2(checked.ok(), qPrintable(checked.describe()));
}

QTEST_GUILESS_MAIN(DebianPackageTest)
#include "tst_debianpackage.moc"
