#include "testbus.h"

#include "tempenvironment.h"

#include <QElapsedTimer>
#include <QFile>

TestBus::~TestBus()
{
    stop();
}

QStringList TestBus::configArguments(const QString &directory, const QString &serviceDirectory) const
{
    const QString listen = QStringLiteral("unix:path=") + directory + QStringLiteral("/bus");
    if (serviceDirectory.isEmpty())
        return {QStringLiteral("--session"), QStringLiteral("--address=") + listen};
    // The session configuration without its standard service directories, so that nothing
    // installed on the machine answers in place of the programs under test.
    const QString config = QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>session</type>\n"
        "  <listen>%1</listen>\n"
        "  <servicedir>%2</servicedir>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "    <allow own=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n")
                               .arg(listen.toHtmlEscaped(), serviceDirectory.toHtmlEscaped());
    const QString configFile = directory + QStringLiteral("/bus.conf");
    QFile file(configFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config.toUtf8()) < 0)
        return {};
    return {QStringLiteral("--config-file=") + configFile};
}

bool TestBus::start(const QString &directory, const QString &serviceDirectory)
{
    QStringList arguments = configArguments(directory, serviceDirectory);
    if (arguments.isEmpty())
        return false;
    arguments << QStringLiteral("--nofork") << QStringLiteral("--print-address=1");
    // A file, not a pipe: the programs the bus starts write there too, and a pipe that nobody
    // reads after the address would stall them once it is full.
    m_logFile = directory + QStringLiteral("/bus.log");
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.setStandardOutputFile(m_logFile, QIODevice::Truncate);
    m_daemon.start(QStringLiteral("dbus-daemon"), arguments);
    if (!m_daemon.waitForStarted(10000))
        return false;
    m_address = readAddress();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
    return !m_address.isEmpty();
}

QString TestBus::readAddress()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        QFile log(m_logFile);
        if (log.open(QIODevice::ReadOnly)) {
            // The bus may warn before it prints the address; the last piece may be a line that is
            // still being written.
            const QList<QByteArray> lines = log.readAll().split('\n');
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                if (lines.at(i).startsWith("unix:"))
                    return QString::fromLocal8Bit(lines.at(i).trimmed());
            }
        }
        // Waiting for the end, rather than sleeping, notices a daemon that gave up at once.
        if (m_daemon.state() == QProcess::NotRunning || m_daemon.waitForFinished(20))
            return QString();
    }
    return QString();
}

void TestBus::stop()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

void TestBus::exportTo(TempEnvironment &environment) const
{
    environment.setVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
}
