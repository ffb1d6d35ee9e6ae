#ifndef TALVORI_COMMANDTABLE_H
#define TALVORI_COMMANDTABLE_H

#include <QByteArray>

class Handler;
class ImapStreamParser;

// Which handler carries out a command word, by connection state. A new command is one row in the
// table of commandtable.cpp and its handler; nothing else changes. All comparisons are exact and
// case-sensitive; each lookup returns a new handler, or null when the word is not a command of
// that state.
class CommandTable
{
public:
    // "LOGOUT" and "CAPABILITY", in every state.
    static Handler *findHandlerForCommandAlwaysAllowed(const QByteArray &command);
    // "LOGIN".
    static Handler *findHandlerForCommandNonAuthenticated(const QByteArray &command);
    // A scope word ("UID", "RID", "HRID") is followed by the command word, which is read from the
    // parser; the handler is made with that scope where it takes one.
    static Handler *findHandlerForCommandAuthenticated(const QByteArray &command, ImapStreamParser *parser);
};

#endif
