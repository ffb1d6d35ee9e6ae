#ifndef TALVORI_SORVANIPEER_H
#define TALVORI_SORVANIPEER_H

#include "buspeer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The semantic query service, answering from an index the test fills: each query text lists the
// result URIs set for it (itemUri() makes the URI of an item). A query opened with "sparqlQuery"
// becomes an object "/query/<n>"; its "list" sends the current results in "newEntries" and then
// "finishedListing". While a query is open, addResults() and removeResults() reach it as
// "newEntries" and "entriesRemoved". Calls are recorded as "sparqlQuery(<query>)", "list(<query>)"
// and "close(<query>)".
class SorvaniPeer : public BusPeer
{
    Q_OBJECT
public:
    SorvaniPeer();
    ~SorvaniPeer() override;

    static QString itemUri(qint64 id);

    void setResults(const QString &query, const QStringList &uris);
    void addResults(const QString &query, const QStringList &uris);
    void removeResults(const QString &query, const QStringList &uris);
    // The texts of the queries open now, in the order they were opened.
    QStringList openQueries() const;

    // Answers "list" with results only, never with "finishedListing".
    void setFinishListing(bool finish);
    // Leaves "sparqlQuery" unanswered.
    void setAnswerQueries(bool answer);
    // How many results one "newEntries" signal carries at most.
    void setBatchSize(int size);

protected:
    bool handleCall(const QDBusMessage &message) override;

private:
    void sendEntries(const QString &path, const QStringList &uris);

    QHash<QString, QStringList> m_index;
    QHash<QString, QString> m_open; // path -> query
    QStringList m_openOrder;        // paths
    int m_nextQuery = 1;
    bool m_finishListing = true;
    bool m_answerQueries = true;
    int m_batchSize = 10000;
};

#endif
