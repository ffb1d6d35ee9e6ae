#ifndef TALVORI_APPENDHANDLER_H
#define TALVORI_APPENDHANDLER_H

#include "handler.h"

#include "storage/entities.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <memory>
#include <vector>

class PayloadWriter;

// What APPEND and X-TVAPPEND share: the leading arguments (collection, size, flags, date-time),
// the special flags that carry item properties, and the commit that stores the item with its
// parts and flags in one transaction. The subclasses read their payload into the parts.
class AppendHandler : public Handler
{
    Q_OBJECT
public:
    AppendHandler();
    ~AppendHandler() override;
    bool parseStream() override;

protected:
    // Reads what follows the date-time into the parts; every argument has been consumed when it
    // returns.
    virtual void readPayload() = 0;
    // The date-time as the client sent it; invalid when it sent none.
    virtual QDateTime itemDateTime(const QDateTime &sent) const = 0;
    // The text of the first answer line, inside "[" and "]".
    virtual QByteArray appendedText(const Talvori::PimItem &item) const;

    // A part of the new item; data that arrives in pieces streams into its writer.
    void addPart(const Talvori::Part &part, std::unique_ptr<PayloadWriter> payload = nullptr);

    qint64 m_size = 0;

private:
    bool commit();

    QByteArray m_collection;
    QList<QByteArray> m_flags;
    QDateTime m_dateTime;
    QList<Talvori::Part> m_parts;
    // Beside each part, the writer its data went to, or null.
    std::vector<std::unique_ptr<PayloadWriter>> m_payloads;
};

#endif
