#ifndef TALVORI_TESTBUS_H
#define TALVORI_TESTBUS_H

#include <QProcess>
#include <QString>
#include <QStringList>

class TempEnvironment;

// A private session bus (dbus-daemon) for one test program. start() also points this process's
// DBUS_SESSION_BUS_ADDRESS at it, so start it before anything touches the session bus.
class TestBus
{
public:
    TestBus() = default;
    ~TestBus();

    // A bus listening in directory. With a service directory, it is the only place the bus looks
    // for services, and the first call to a name described there starts the program, as a desktop
    // session's bus does with the installed ones. Programs it starts inherit this process's
    // environment as it is now; their output goes to logFile(), with the bus's own.
    bool start(const QString &directory, const QString &serviceDirectory = QString());
    void stop();
    QString address() const { return m_address; }
    QString logFile() const { return m_logFile; }
    qint64 processId() const { return m_daemon.processId(); }
    // Adds the bus address to an environment handed to child processes.
    void exportTo(TempEnvironment &environment) const;

private:
    QStringList configArguments(const QString &directory, const QString &serviceDirectory) const;
    QString readAddress();

    QProcess m_daemon;
    QString m_address;
    QString m_logFile;
};

#endif
