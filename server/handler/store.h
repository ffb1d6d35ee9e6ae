#ifndef TALVORI_STORE_H
#define TALVORI_STORE_H

#include "handler.h"

#include "protocol/scope.h"
#include "storage/entities.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>

#include <memory>
#include <vector>

class PayloadWriter;

// STORE: changes existing items in one transaction: the flags of any number of items, and for a
// single item its remote identifier and revision, dirty mark, size, cached payload and part data.
// The whole modification list is read before the transaction begins, so a client that sends it
// slowly holds no lock meanwhile. Part uploads stream through a PayloadWriter, so one above the
// payload-file threshold is never held in memory whole.
class Store : public Handler
{
    Q_OBJECT
public:
    explicit Store(Scope::SelectionScope scope);
    bool parseStream() override;

    ~Store() override;

private:
    enum Operation { Replace, Add, Delete };

    // One entry of the modification list, read whole before anything is changed.
    struct Modification {
        Operation operation = Replace;
        // The word without its sign and ".SILENT": FLAGS, REMOTEID, PARTS, a part name...
        QByteArray command;
        bool silent = false;
        QList<QByteArray> list;                 // FLAGS and PARTS
        QByteArray value;                       // REMOTEID, REMOTEREVISION and a part's string
        qint64 number = 0;                      // SIZE
        std::unique_ptr<PayloadWriter> payload; // a part's literal
    };

    void readModifications();
    Modification readModification();
    // Applies one entry inside the transaction; false after answering a failure.
    bool apply(QList<Talvori::PimItem> &items, Modification &modification, bool &invalidateCache);
    // True when the flags of at least one item changed.
    bool changeFlags(QList<Talvori::PimItem> &items, const Modification &modification);
    // Stores the value of a part; returns false after answering a failure.
    bool storePart(Talvori::PimItem &item, Modification &modification);
    // The flag line of every item, in the items' order.
    void sendFlags(const QList<Talvori::PimItem> &items);
    // Writes the changed columns of the one item addressed; throws when that fails.
    void writeItemChanges(Talvori::PimItem &item, const QDateTime &modificationTime, bool invalidateCache);
    // The same for many items, which can only have had their flags changed.
    void writeItemsChanges(const QList<Talvori::PimItem> &items, const QDateTime &modificationTime);

    Scope m_scope;
    qint64 m_previousRevision = -1;
    qint64 m_size = 0;
    qint64 m_partSizes = 0;
    QSet<QByteArray> m_changes;
    std::vector<Modification> m_modifications;
};

#endif
