#ifndef TALVORI_SCOPE_H
#define TALVORI_SCOPE_H

#include <imapset.h>

#include <QByteArray>
#include <QStringList>

class ImapStreamParser;

// How a command names its items or collections: by plain ids, or after a scope word by uid
// ("UID"), by remote identifier ("RID") or by a chain of remote identifiers up to the root
// ("HRID").
class Scope
{
public:
    enum SelectionScope { Plain, ById, ByRemoteId, ByRemotePath };

    explicit Scope(SelectionScope selection = Plain);

    SelectionScope selection() const { return m_selection; }
    ImapSet idSet() const { return m_idSet; }
    void setIdSet(const ImapSet &set) { m_idSet = set; }
    QStringList remoteIdList() const { return m_remoteIdList; }
    QStringList remoteIdChain() const { return m_remoteIdChain; }

    static SelectionScope selectionFromWord(const QByteArray &word);

    // Reads the identifiers that follow for this scope's selection; throws HandlerException when
    // they are missing or malformed.
    void readFromStream(ImapStreamParser *parser);

protected:
    SelectionScope m_selection;
    ImapSet m_idSet;
    QStringList m_remoteIdList;
    QStringList m_remoteIdChain;
};

#endif
