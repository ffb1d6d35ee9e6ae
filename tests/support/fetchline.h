#ifndef TALVORI_FETCHLINE_H
#define TALVORI_FETCHLINE_H

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Fields of one item line of a FETCH answer as the client received it
// ("* 5 FETCH (UID 5 REV 1 REMOTEID "x" ... PLD:RFC822 {n}<CR LF>bytes)").
namespace FetchLine {

// The value of a part: its bytes, "NIL", or a null array when the part is not in the line.
QByteArray partValue(QByteArrayView line, const QByteArray &part);
// The unquoted remote identifier.
QByteArray remoteId(QByteArrayView line);
// A number attribute such as "UID", "REV" or "SIZE"; -1 when it is not in the line.
qint64 number(QByteArrayView line, const QByteArray &attribute);
// The names of the FLAGS list.
QList<QByteArray> flags(QByteArrayView line);

} // namespace FetchLine

#endif
