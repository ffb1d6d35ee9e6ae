#include "commandtable.h"

#include "append.h"
#include "capability.h"
#include "colcopy.h"
#include "colmove.h"
#include "copy.h"
#include "create.h"
#include "delete.h"
#include "expunge.h"
#include "fetch.h"
#include "link.h"
#include "list.h"
#include "login.h"
#include "logout.h"
#include "modify.h"
#include "move.h"
#include "remove.h"
#include "resourceselect.h"
#include "search.h"
#include "searchpersistent.h"
#include "select.h"
#include "status.h"
#include "store.h"
#include "subscribe.h"
#include "transactionhandler.h"
#include "tvappend.h"

#include "protocol/imapstreamparser.h"
#include "protocol/scope.h"

namespace {

// The commands of an authenticated session, in lookup order. Each entry makes its handler from
// the scope selection that preceded the command word (handlers that take no scope ignore it).
struct AuthenticatedCommand {
    const char *word;
    Handler *(*create)(Scope::SelectionScope selection);
};

const AuthenticatedCommand authenticatedCommands[] = {
    {"LIST", [](Scope::SelectionScope s) -> Handler * { return new List(s, false); }},
    {"LSUB", [](Scope::SelectionScope s) -> Handler * { return new List(s, true); }},
    {"X-TVLIST", [](Scope::SelectionScope s) -> Handler * { return new List(s, false); }},
    {"X-TVLSUB", [](Scope::SelectionScope s) -> Handler * { return new List(s, true); }},
    {"SELECT", [](Scope::SelectionScope s) -> Handler * { return new Select(s); }},
    {"STATUS", [](Scope::SelectionScope) -> Handler * { return new Status; }},
    {"SUBSCRIBE", [](Scope::SelectionScope) -> Handler * { return new Subscribe(true); }},
    {"UNSUBSCRIBE", [](Scope::SelectionScope) -> Handler * { return new Subscribe(false); }},
    {"CREATE", [](Scope::SelectionScope s) -> Handler * { return new Create(s); }},
    {"MODIFY", [](Scope::SelectionScope s) -> Handler * { return new Modify(s); }},
    {"DELETE", [](Scope::SelectionScope s) -> Handler * { return new Delete(s); }},
    {"BEGIN",
     [](Scope::SelectionScope) -> Handler * { return new TransactionHandler(TransactionHandler::Begin); }},
    {"COMMIT",
     [](Scope::SelectionScope) -> Handler * { return new TransactionHandler(TransactionHandler::Commit); }},
    {"ROLLBACK",
     [](Scope::SelectionScope) -> Handler * { return new TransactionHandler(TransactionHandler::Rollback); }},
    {"RESSELECT", [](Scope::SelectionScope) -> Handler * { return new ResourceSelect; }},
    {"APPEND", [](Scope::SelectionScope) -> Handler * { return new Append; }},
    {"X-TVAPPEND", [](Scope::SelectionScope) -> Handler * { return new TvAppend; }},
    {"FETCH", [](Scope::SelectionScope s) -> Handler * { return new Fetch(s); }},
    {"STORE", [](Scope::SelectionScope s) -> Handler * { return new Store(s); }},
    {"SEARCH_STORE", [](Scope::SelectionScope) -> Handler * { return new SearchPersistent; }},
    {"SEARCH", [](Scope::SelectionScope) -> Handler * { return new Search; }},
    {"EXPUNGE", [](Scope::SelectionScope) -> Handler * { return new Expunge; }},
    {"COPY", [](Scope::SelectionScope) -> Handler * { return new Copy; }},
    {"COLCOPY", [](Scope::SelectionScope) -> Handler * { return new ColCopy; }},
    {"COLMOVE", [](Scope::SelectionScope s) -> Handler * { return new ColMove(s); }},
    {"LINK", [](Scope::SelectionScope s) -> Handler * { return new Link(s, true); }},
    {"UNLINK", [](Scope::SelectionScope s) -> Handler * { return new Link(s, false); }},
    {"REMOVE", [](Scope::SelectionScope s) -> Handler * { return new Remove(s); }},
    {"MOVE", [](Scope::SelectionScope s) -> Handler * { return new Move(s); }},
};

} // namespace

Handler *CommandTable::findHandlerForCommandAlwaysAllowed(const QByteArray &command)
{
    if (command == "LOGOUT")
        return new Logout;
    if (command == "CAPABILITY")
        return new Capability;
    return nullptr;
}

Handler *CommandTable::findHandlerForCommandNonAuthenticated(const QByteArray &command)
{
    if (command == "LOGIN")
        return new Login;
    return nullptr;
}

Handler *CommandTable::findHandlerForCommandAuthenticated(const QByteArray &command, ImapStreamParser *parser)
{
    QByteArray word = command;
    const Scope::SelectionScope selection = Scope::selectionFromWord(command);
    if (selection != Scope::Plain)
        word = parser->readString();

    for (const AuthenticatedCommand &entry : authenticatedCommands) {
        if (word == entry.word)
            return entry.create(selection);
    }
    return nullptr;
}
