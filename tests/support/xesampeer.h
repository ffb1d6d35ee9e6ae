#ifndef TALVORI_XESAMPEER_H
#define TALVORI_XESAMPEER_H

#include "buspeer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// A Xesam search service answering from an index the test fills: each query text has its hits,
// each hit the text of its first field (an item id, or anything else). A started search reports
// its hits with "HitsAdded" and hands them out with "GetHits" in order, numbered from 0; while it
// runs, addHits() and removeHits() reach it as "HitsAdded" and "HitsRemoved" (by hit number).
// Session properties are echoed. Calls are recorded as "NewSession()", "SetProperty(<name>,<value>)",
// "NewSearch(<query>)", "StartSearch(<query>)", "GetHits(<query>,<count>)",
// "CloseSearch(<query>)" and "CloseSession()".
class XesamPeer : public BusPeer
{
    Q_OBJECT
public:
    XesamPeer();
    ~XesamPeer() override;

    void setHits(const QString &query, const QStringList &hits);
    void addHits(const QString &query, const QStringList &hits);
    void removeHits(const QString &query, const QStringList &hits);
    // Leaves "NewSession" unanswered.
    void setAnswerSession(bool answer);

protected:
    bool handleCall(const QDBusMessage &message) override;

private:
    struct Search {
        QString query;
        bool started = false;
        QStringList hits;   // by hit number; removed ones stay as empty strings
        qsizetype handedOut = 0;
    };

    QHash<QString, QStringList> m_index;
    QHash<QString, Search> m_searches; // handle -> search
    int m_nextSearch = 1;
    bool m_answerSession = true;
};

#endif
