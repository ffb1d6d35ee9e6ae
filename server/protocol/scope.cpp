#include "scope.h"

#include "common/exception.h"
#include "protocol/imapstreamparser.h"

Scope::Scope(SelectionScope selection)
    : m_selection(selection)
{
}

Scope::SelectionScope Scope::selectionFromWord(const QByteArray &word)
{
    if (word == "UID")
        return ById;
    if (word == "RID")
        return ByRemoteId;
    if (word == "HRID")
        return ByRemotePath;
    return Plain;
}

void Scope::readFromStream(ImapStreamParser *parser)
{
    switch (m_selection) {
    case Plain:
    case ById:
        m_idSet = parser->readSequenceSet();
        if (m_idSet.isEmpty())
            throw HandlerException("Empty uid set specified");
        return;
    case ByRemoteId:
        m_remoteIdList.clear();
        if (parser->hasList()) {
            parser->beginList();
            while (!parser->atListEnd())
                m_remoteIdList.append(parser->readUtf8String());
        } else {
            m_remoteIdList.append(parser->readUtf8String());
        }
        if (m_remoteIdList.isEmpty())
            throw HandlerException("Empty remote identifier set specified");
        return;
    case ByRemotePath:
        // Pairs of (server id, remote id) from the addressed collection up to the root; only the
        // remote ids are used.
        m_remoteIdChain.clear();
        parser->beginList();
        while (!parser->atListEnd()) {
            parser->beginList();
            parser->readString();
            m_remoteIdChain.append(parser->readUtf8String());
            if (!parser->atListEnd())
                throw HandlerException("Invalid hierarchical RID chain format");
        }
        return;
    }
    throw HandlerException("WTF?!?");
}
