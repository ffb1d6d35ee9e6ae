#ifndef TALVORI_HEADERPREPROCESSOR_H
#define TALVORI_HEADERPREPROCESSOR_H

#include "agentconnection.h"
#include "headerrule.h"

#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class OrgFreedesktopTalvoriPreprocessorManagerInterface;

// A preprocessor agent: the server hands it each new item (beginProcessItem), it reads the item's
// header through its own client connection, adds the flags of the rules that match and reports
// the item processed (itemProcessed), after which the server hands the item to the next agent of
// the chain or shows it to clients.
//
// On the bus it is "org.freedesktop.Talvori.Preprocessor.<id>" (the preprocessor interface) and
// "org.freedesktop.Talvori.Agent.<id>" (agent control: abort drops the jobs it has not started),
// both at "/". It registers with the server's "/PreprocessorManager" once the server answers on
// its socket, and again whenever the server comes back after a restart.
class HeaderPreprocessor : public QObject
{
    Q_OBJECT
public:
    HeaderPreprocessor(const QString &id, const QList<HeaderRule> &rules);
    ~HeaderPreprocessor() override;

    // Owns the bus names and exports "/"; false (with a message) when another agent has them.
    bool start();

public Q_SLOTS:
    // org.freedesktop.Talvori.Preprocessor
    void beginProcessItem(qlonglong id, qlonglong collectionId, const QString &mimeType);
    // org.freedesktop.Talvori.Agent.Control
    void abort();
    void cleanup();
    void configure(qlonglong windowId);
    void quit();
    void reconfigure();

Q_SIGNALS:
    void itemProcessed(qlonglong id);
    void configurationDialogAccepted();
    void configurationDialogRejected();

private Q_SLOTS:
    void connectToServer();
    void serverLeft();
    void processNextJob();

private:
    struct Job {
        qint64 id;
        QString mimeType;
    };
    void process(const Job &job);
    // The flags the item should get; false when it could not be read (it may be gone).
    bool flagsOf(const Job &job, QList<QByteArray> *flags);

    const QString m_id;
    const QList<HeaderRule> m_rules;
    AgentConnection m_connection;
    OrgFreedesktopTalvoriPreprocessorManagerInterface *m_manager;
    QDBusServiceWatcher m_serverWatcher;
    QTimer m_reconnect;
    QList<Job> m_jobs;
};

#endif
