#include "imapset.h"

#include <algorithm>

void ImapSet::add(const ImapInterval &interval)
{
    m_intervals.append(interval);
}

void ImapSet::add(const QList<qint64> &ids)
{
    QList<qint64> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (int i = 0; i < sorted.size();) {
        int j = i;
        while (j + 1 < sorted.size() && sorted.at(j + 1) == sorted.at(j) + 1)
            ++j;
        m_intervals.append(ImapInterval(sorted.at(i), sorted.at(j)));
        i = j + 1;
    }
}

bool ImapSet::isEmpty() const
{
    return m_intervals.isEmpty();
}

static QByteArray bound(qint64 value)
{
    return value == 0 ? QByteArray("*") : QByteArray::number(value);
}

QByteArray ImapSet::toImapSequenceSet() const
{
    QList<QByteArray> parts;
    parts.reserve(m_intervals.size());
    for (const ImapInterval &interval : m_intervals) {
        if (interval.begin() == interval.end())
            parts.append(bound(interval.begin()));
        else
            parts.append(bound(interval.begin()) + ':' + bound(interval.end()));
    }
    return parts.join(',');
}
