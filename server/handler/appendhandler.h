#ifndef TALVORI_APPENDHANDLER_H
#define TALVORI_APPENDHANDLER_H

#include "handler.h"

#include "storage/entities.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

// What APPEND and X-TVAPPEND share: the leading arguments (collection, size, flags, date-time),
// the special flags that carry item properties, and the commit that stores the item with its
// parts and flags in one transaction. The subclasses read their payload and shape the parts.
class AppendHandler : public Handler
{
    Q_OBJECT
public:
    bool parseStream() override;

protected:
    // Reads what follows the date-time; every argument has been consumed when it returns.
    virtual void readPayload() = 0;
    // The date-time as the client sent it; invalid when it sent none.
    virtual QDateTime itemDateTime(const QDateTime &sent) const = 0;
    virtual QList<Talvori::Part> parts() = 0;
    // Runs after the item and its flags are stored, before the commit; false after answering.
    virtual bool finishParts(QList<Talvori::Part> &parts);
    // The text of the first answer line, inside "[" and "]".
    virtual QByteArray appendedText(const Talvori::PimItem &item) const;

    qint64 m_size = 0;

private:
    bool commit();

    QByteArray m_collection;
    QList<QByteArray> m_flags;
    QDateTime m_dateTime;
};

#endif
