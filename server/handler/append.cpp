#include "append.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "storage/payloadwriter.h"

using namespace Talvori;

void Append::readPayload()
{
    if (!m_streamParser->hasLiteral()) {
        // The data store raises the size to the data's length.
        addPart(Part(0, QStringLiteral("PLD:RFC822"), m_streamParser->readString(), 0, 0, false));
        return;
    }

    const qint64 literalSize = m_streamParser->remainingLiteralSize();
    m_size = qMax(m_size, literalSize);
    auto payload = std::make_unique<PayloadWriter>(literalSize);
    HandlerSupport::readLiteral(*m_streamParser, *payload);
    addPart(Part(0, QStringLiteral("PLD:RFC822"), QByteArray(), literalSize, 0, false), std::move(payload));
}

QDateTime Append::itemDateTime(const QDateTime &sent) const
{
    return sent.isValid() ? sent.toUTC() : QDateTime::currentDateTimeUtc();
}

QByteArray Append::appendedText(const PimItem &item) const
{
    return AppendHandler::appendedText(item) + " DATETIME " + HandlerSupport::quotedDateTime(item.datetime());
}
