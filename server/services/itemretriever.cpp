#include "itemretriever.h"

ItemRetriever::ItemRetriever(Session *connection)
    : m_connection(connection)
{
}

void ItemRetriever::setScope(const Scope &scope)
{
    m_scope = scope;
}

void ItemRetriever::setRetrieveParts(const QStringList &parts)
{
    m_parts = parts;
    addFullPayloadPart();
}

void ItemRetriever::setRetrieveFullPayload(bool fullPayload)
{
    m_fullPayload = fullPayload;
    addFullPayloadPart();
}

void ItemRetriever::addFullPayloadPart()
{
    const QString fullPayloadPart = QStringLiteral("PLD:RFC822");
    if (m_fullPayload && !m_parts.contains(fullPayloadPart))
        m_parts.append(fullPayloadPart);
}

bool ItemRetriever::exec()
{
    if (m_parts.isEmpty() && !m_fullPayload)
        return true;
    // No resource can be asked for payload yet (there is no retrieval service on the bus side),
    // so every part a command wants is served from the database as it is.
    return true;
}
