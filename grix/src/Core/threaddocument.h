#ifndef THREADDOCUMENT_H
#define THREADDOCUMENT_H

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>

class GraphDocument;
class QtScriptBackend;

// The worker thread that owns the current document and its script backend, so scripts and
// document changes run off the user-interface thread. Its creator typically locks the mutex,
// starts the thread and waits on the condition until document() is set; every new document is
// published under that mutex and then all waiters are woken, so no wake-up can be missed.
class ThreadDocument : public QThread
{
    Q_OBJECT
public:
    ThreadDocument(QWaitCondition &docCondition, QMutex &mutex, QObject *parent = nullptr);
    ~ThreadDocument() override;

    // Read these with the mutex held while the thread may be replacing them.
    GraphDocument *document() const { return m_document; }
    QtScriptBackend *engine() const { return m_engine; }
    // Counts the documents put in place, so a waiter can tell a new one from the old.
    int generation() const { return m_generation; }
    // Whether a script runs. Like the above, and it does not take the mutex itself.
    bool isRunning() const;
    // Adopts doc (moving it to this thread) with a new backend. Call it from doc's thread.
    void setGraphDocument(GraphDocument *doc);

public Q_SLOTS:
    void run() override;
    // Both do their work on this thread whichever thread calls them (the thread object itself
    // lives with its creator, so a queued call alone would run on the creator's thread).
    void createEmptyDocument();
    void loadDocument(const QString &name = QString());

private:
    void install(GraphDocument *doc, QtScriptBackend *engine);
    // Sends work to this thread's event loop when called from elsewhere; true if it did.
    bool forwarded(std::function<void()> work);

    QtScriptBackend *m_engine = nullptr; // owned, lives in this thread
    GraphDocument *m_document = nullptr; // owned, lives in this thread
    int m_generation = 0;
    QWaitCondition &m_docCondition;
    QMutex &m_mutex;
    QString m_name; // kept for callers that ask; stays empty
    std::atomic<QObject *> m_context = nullptr; // lives in this thread while its event loop runs
};

#endif
