#ifndef TALVORI_PIMITEMSET_H
#define TALVORI_PIMITEMSET_H

#include "storage/entities.h"

#include <imapset.h>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>

// Many items by id, for the statements that read or change them all at once: a few statements for
// any number of items where the records take a few per item. Ids that do not fit one statement are
// split into pieces (QueryHelper::idPieces) that run in turn. Statements run on the thread's data
// store, inside the caller's transaction; nothing here records notifications.
class PimItemSet
{
public:
    explicit PimItemSet(const QList<qint64> &ids);
    explicit PimItemSet(const QList<Talvori::PimItem> &items);

    bool isEmpty() const { return m_pieces.isEmpty(); }

    // Relates every item to the flag. With skipExisting an item that has it already stays as it
    // is; without, such an item makes the statement fail, as PimItem::addFlag() does.
    bool addFlag(const Talvori::Flag &flag, bool skipExisting) const;
    // Takes these flags from every item.
    bool removeFlags(const QList<Talvori::Flag> &flags) const;
    // Takes every flag from every item.
    bool clearFlags() const;
    // The ids of the flags of the items that have any, ascending for each item; with onlyFlags
    // not empty, only those flags.
    bool flagIds(QHash<qint64, QList<qint64>> &flagIds, const QList<Talvori::Flag> &onlyFlags = {}) const;
    // The names (UTF-8) of the flags of the items that have any, in the order of the flags' ids.
    bool flagNames(QHash<qint64, QList<QByteArray>> &names) const;
    // Records a change of every item: its revision goes up by one, its date-time and access time
    // become time, and with markDirty it is marked dirty.
    bool markChanged(const QDateTime &time, bool markDirty) const;

private:
    QList<ImapSet> m_pieces;
};

#endif
