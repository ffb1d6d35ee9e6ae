#include "scope.h"

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
