#ifndef TALVORI_TESTAGENTMANAGER_H
#define TALVORI_TESTAGENTMANAGER_H

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// The control process's agent manager as far as the server uses it: it owns
// "org.freedesktop.Talvori.Control" on a bus connection of its own and exports "/AgentManager"
// with restartAgentInstance, which it records (and hands to onRestart, when set, to restart the
// agent for real). The server shuts down when the control service leaves the bus, so stop the
// server before this goes.
class TestAgentManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.AgentManager")
public:
    struct Request {
        QString id;
        qint64 atMs; // TestPreprocessor::now()
    };

    explicit TestAgentManager(const QString &busAddress);
    ~TestAgentManager() override;

    // False (with a warning) when it cannot own the name or export the object.
    bool join();

    QList<Request> restartRequests;
    std::function<void(const QString &id)> onRestart;

public Q_SLOTS:
    Q_SCRIPTABLE void restartAgentInstance(const QString &identifier);

private:
    const QString m_address;
    const QString m_connectionName;
};

#endif
