#include "transactionhandler.h"

#include "storage/datastore.h"
#include "storage/session.h"

#include <QMetaEnum>

TransactionHandler::TransactionHandler(Mode mode)
    : m_mode(mode)
{
}

bool TransactionHandler::parseStream()
{
    DataStore *db = m_connection->storageBackend();
    switch (m_mode) {
    case Begin:
        if (!db->beginTransaction())
            return failureResponse(db->transactionError());
        break;
    case Rollback:
        if (!db->inTransaction())
            return failureResponse("There is no transaction in progress.");
        if (!db->rollbackTransaction())
            return failureResponse("Unable to roll back transaction.");
        break;
    case Commit:
        if (!db->inTransaction())
            return failureResponse("There is no transaction in progress.");
        if (!db->commitTransaction())
            return failureResponse("Unable to commit transaction.");
        break;
    }
    const QByteArray text = QByteArray(QMetaEnum::fromType<Mode>().valueToKey(m_mode)) + " completed";
    return successResponse(text.constData());
}
