#ifndef TALVORI_PREPROCESSORINSTANCE_H
#define TALVORI_PREPROCESSORINSTANCE_H

#include "storage/entities.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class OrgFreedesktopTalvoriPreprocessorInterface;
class PreprocessorChainLock;
class PreprocessorManager;

// One registered preprocessor agent: its place in the chain, the items waiting for it (the head is
// the one it is working on) and the way to reach it on the bus. Lives on the main thread.
//
// Two kinds of members: the queue side is shared with connection threads and takes the chain's
// lock as proof; the bus side runs on the main thread only and must never run under that lock.
class PreprocessorInstance : public QObject
{
    Q_OBJECT
public:
    PreprocessorInstance(const QString &id, PreprocessorManager *manager);
    ~PreprocessorInstance() override;

    QString id() const { return m_id; }
    // "org.freedesktop.Talvori.Preprocessor." + id: where the agent answers.
    QString serviceName() const;

    // Queue side.
    void enqueueItem(qint64 itemId, const PreprocessorChainLock &);
    // When the agent is idle and has items: marks it busy with the head from now on and gives the
    // head's id. False when it is busy or has nothing to do.
    bool startHeadItem(qint64 *itemId, const PreprocessorChainLock &);
    bool hasItems(const PreprocessorChainLock &) const { return !m_queue.isEmpty(); }
    // Removes the head and makes the agent idle; the queue must not be empty.
    qint64 takeHeadItem(const PreprocessorChainLock &);
    // Every waiting item, the head first; the agent is idle and has none left.
    QList<qint64> takeAllItems(const PreprocessorChainLock &);
    // The agent lost the head it was given (it was restarted): it is handed the head again.
    void resendHeadItem(const PreprocessorChainLock &);
    // How long it has been working on the head, in seconds; -1 when it is idle.
    double processingSeconds(const PreprocessorChainLock &) const;

    // Bus side. Makes the proxy the agent is reached through; false, with a traced warning, when
    // the agent is not on the bus.
    bool connectToAgent();
    // Whether the agent this instance was connected to is still the one that owns its service:
    // false when it left the bus or another process took its place (a restart).
    bool isSameAgent() const;
    // The agent left the bus; it may come back, registering again.
    void setAway();
    // How long since it left, in seconds; -1 when it is there.
    double awaySeconds() const;
    // Hands the item to the agent (no answer is awaited; the agent reports through itemProcessed).
    void beginProcessItem(const Talvori::PimItem &item);
    // Asks the agent to give up its current job; false when the request could not go out.
    bool abortJob();
    // Asks the agent manager of the control process to restart the agent; false when the request
    // could not go out.
    bool requestRestart();

private Q_SLOTS:
    void itemProcessed(qlonglong id);

private:
    static QString currentOwner(const QString &service);

    const QString m_id;
    PreprocessorManager *const m_manager;

    // Guarded by the chain's lock.
    QList<qint64> m_queue;
    bool m_busy = false;
    QElapsedTimer m_processingStart;

    // Main thread only.
    std::unique_ptr<OrgFreedesktopTalvoriPreprocessorInterface> m_agent;
    // The unique bus name that owned the service when the proxy was made.
    QString m_agentOwner;
    QElapsedTimer m_awaySince;
};

#endif
