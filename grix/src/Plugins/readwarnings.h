#ifndef GRIX_READWARNINGS_H
#define GRIX_READWARNINGS_H

#include <QList>
#include <QString>
#include <QStringList>

namespace Grix {

// What a file reader could not use although it went on: each kind of problem once, with how
// often it happened and the first line where it did, so a reader never drops input silently.
class ReadWarnings
{
public:
    void clear() { m_entries.clear(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    // One more place (a line number, 0 when unknown) where problem happened.
    void add(const QString &problem, qint64 line);
    // "problem: 3 times, first at line 7", in the order the problems first came up.
    QStringList texts() const;

private:
    struct Entry
    {
        QString problem;
        qint64 count = 0;
        qint64 firstLine = 0;
    };
    QList<Entry> m_entries; // a handful of kinds, so a list search is enough
};

}

#endif
