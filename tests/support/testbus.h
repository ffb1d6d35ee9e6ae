#ifndef TALVORI_TESTBUS_H
#define TALVORI_TESTBUS_H

#include <QProcess>
#include <QString>

class TempEnvironment;

// A private session bus (dbus-daemon) for one test program. start() also points this process's
// DBUS_SESSION_BUS_ADDRESS at it, so start it before anything touches the session bus.
class TestBus
{
public:
    TestBus() = default;
    ~TestBus();

    bool start(const QString &directory);
    void stop();
    QString address() const { return m_address; }
    qint64 processId() const { return m_daemon.processId(); }
    // Adds the bus address to an environment handed to child processes.
    void exportTo(TempEnvironment &environment) const;

private:
    QProcess m_daemon;
    QString m_address;
};

#endif
