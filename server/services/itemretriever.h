#ifndef TALVORI_ITEMRETRIEVER_H
#define TALVORI_ITEMRETRIEVER_H

#include "protocol/scope.h"

#include <QStringList>

class Session;

// Makes sure the requested payload parts of a command's items are in the database before the
// command reads them, by asking the owning resources for the missing ones. Used inside one command
// on its connection's thread; exec() blocks until every request is answered.
//
// Nothing asks resources for payload yet: exec() returns at once and the command serves what the
// database holds, reporting a missing payload as NIL. The interface is the one the commands keep
// using once delivery over the bus exists.
class ItemRetriever
{
public:
    // connection may be null for work that is not done on behalf of a client.
    explicit ItemRetriever(Session *connection = nullptr);

    void setScope(const Scope &scope);
    // Full part names, such as "PLD:RFC822".
    void setRetrieveParts(const QStringList &parts);
    // The full payload always includes "PLD:RFC822".
    void setRetrieveFullPayload(bool fullPayload);

    Session *connection() const { return m_connection; }
    Scope scope() const { return m_scope; }
    QStringList retrieveParts() const { return m_parts; }
    bool retrieveFullPayload() const { return m_fullPayload; }

    // True when every item was served or its failure logged; a failed delivery never fails the
    // command that asked for it.
    bool exec();

private:
    void addFullPayloadPart();

    Session *m_connection;
    Scope m_scope;
    QStringList m_parts;
    bool m_fullPayload = false;
};

#endif
