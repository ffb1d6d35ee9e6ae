#ifndef TALVORI_TRANSACTIONHANDLER_H
#define TALVORI_TRANSACTIONHANDLER_H

#include "handler.h"

// BEGIN, COMMIT, ROLLBACK: a client-driven transaction on the connection's data store. Handlers
// that open their own transactions meanwhile only nest inside it.
class TransactionHandler : public Handler
{
    Q_OBJECT
public:
    enum Mode { Begin, Commit, Rollback };
    Q_ENUM(Mode)

    explicit TransactionHandler(Mode mode);
    bool parseStream() override;

private:
    Mode m_mode;
};

#endif
