#ifndef TALVORI_STORE_H
#define TALVORI_STORE_H

#include "handler.h"

#include "protocol/scope.h"
#include "storage/entities.h"

#include <QByteArray>
#include <QList>
#include <QSet>

// STORE: changes existing items in one transaction: the flags of any number of items, and for a
// single item its remote identifier and revision, dirty mark, size, cached payload and part data.
// Part uploads stream through a PayloadWriter, so one above the payload-file threshold is never
// held in memory whole.
class Store : public Handler
{
    Q_OBJECT
public:
    explicit Store(Scope::SelectionScope scope);
    bool parseStream() override;

private:
    enum Operation { Replace, Add, Delete };

    // True when the flags of at least one item changed.
    bool changeFlags(QList<Talvori::PimItem> &items, Operation operation, bool silent);
    // Reads the value of a part and stores it; returns false after answering a failure.
    bool storePart(Talvori::PimItem &item, const QByteArray &versionedName);
    void sendFlags(const Talvori::PimItem &item);

    Scope m_scope;
    qint64 m_previousRevision = -1;
    qint64 m_size = 0;
    qint64 m_partSizes = 0;
    QSet<QByteArray> m_changes;
};

#endif
