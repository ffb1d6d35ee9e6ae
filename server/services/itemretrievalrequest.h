#ifndef TALVORI_ITEMRETRIEVALREQUEST_H
#define TALVORI_ITEMRETRIEVALREQUEST_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// The missing payload parts of one item, to be delivered by the resource that owns it. An
// ItemRetriever makes it on a connection thread, which deletes it once the item retrieval manager
// has marked it processed; processed and errorMessage are written by the manager's thread under
// the manager's lock.
struct ItemRetrievalRequest {
    qint64 id = -1;
    QByteArray remoteId;
    QByteArray mimeType;
    // The owning resource's name, which is also its identifier on the bus.
    QString resourceId;
    // Payload part names without their "PLD:" prefix.
    QStringList parts;
    // Empty on success.
    QString errorMessage;
    bool processed = false;
};

#endif
