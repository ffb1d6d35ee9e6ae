#ifndef TALVORI_TESTPREPROCESSOR_H
#define TALVORI_TESTPREPROCESSOR_H

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>

// A preprocessor agent on the test's private bus, in the test's own process. It owns
// "org.freedesktop.Talvori.Preprocessor.<id>" and "org.freedesktop.Talvori.Agent.<id>" on a bus
// connection of its own and exports "/" with the preprocessor and agent-control interfaces
// (adaptors made from the same descriptions the server uses). It records every item the server
// hands it and every abort, and reports an item processed at once (answerAtOnce) or when the test
// calls report(); one that is never told to report is an agent that never answers.
//
//     TestPreprocessor a(QStringLiteral("a"), server.bus().address());
//     QVERIFY(a.join());
//     a.registerWithServer();
//     ... append; QVERIFY(a.waitForJobs(1)); a.report(a.jobs.first().id);
class TestPreprocessor : public QObject
{
    Q_OBJECT
public:
    struct Job {
        qint64 id;
        qint64 collectionId;
        QString mimeType;
        qint64 atMs; // TestPreprocessor::now()
    };

    TestPreprocessor(const QString &id, const QString &busAddress);
    ~TestPreprocessor() override;

    QString id() const { return m_id; }
    // Connects to the bus, owns both names and exports "/"; false (with a warning) when it cannot.
    // A preprocessor that left the bus may join again: it is then another process to the server.
    bool join();
    // Drops the bus connection: the names go, no unregistration is sent.
    void leave();
    void registerWithServer();
    void unregisterFromServer();

    bool answerAtOnce = false;
    // Emits itemProcessed(id) on the bus.
    void report(qint64 id);

    QList<Job> jobs;
    QList<qint64> aborts; // TestPreprocessor::now() of each
    QList<qint64> jobIds() const;
    // Waits until at least count items have been handed over in all.
    bool waitForJobs(qsizetype count, int timeoutMs = 10000) const;

    // A monotonic clock in milliseconds, shared by the test peers.
    static qint64 now();

public Q_SLOTS:
    // The preprocessor interface.
    void beginProcessItem(qlonglong id, qlonglong collectionId, const QString &mimeType);
    // The agent-control interface; only abort is recorded.
    void abort();
    void cleanup() {}
    void configure(qlonglong windowId) { Q_UNUSED(windowId); }
    void quit() {}
    void reconfigure() {}

Q_SIGNALS:
    void itemProcessed(qlonglong id);
    void configurationDialogAccepted();
    void configurationDialogRejected();

private:
    void callManager(const QString &method);

    const QString m_id;
    const QString m_address;
    QString m_connectionName;
};

#endif
