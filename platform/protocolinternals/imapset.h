#ifndef TALVORI_IMAPSET_H
#define TALVORI_IMAPSET_H

#include "imapinterval.h"

#include <QByteArray>

// An ordered list of intervals, as written in a command's sequence set ("1:5,7,10:*").
class ImapSet
{
public:
    void add(const ImapInterval &interval);
    // Adds the ids, joining runs of consecutive ids into one interval.
    void add(const QList<qint64> &ids);

    const ImapInterval::List &intervals() const { return m_intervals; }
    bool isEmpty() const;
    QByteArray toImapSequenceSet() const;

    bool operator==(const ImapSet &other) const = default;

private:
    ImapInterval::List m_intervals;
};

#endif
