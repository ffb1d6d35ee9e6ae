#include "tvappend.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "storage/payloadwriter.h"

#include <imapparser.h>

using namespace Talvori;

void TvAppend::readLayouts()
{
    // The list alternates names and ":<size>" tokens. A name without a size is dropped, and a size
    // that does not parse counts as 0.
    const QList<QByteArray> list = m_streamParser->readParenthesizedList();
    QByteArray pendingName;
    qint64 total = 0;
    for (const QByteArray &entry : list) {
        if (pendingName.isEmpty()) {
            pendingName = entry;
        } else if (entry.startsWith(':')) {
            PartLayout layout;
            ImapParser::splitVersionedKey(pendingName, layout.name, layout.version);
            bool ok = false;
            ImapParser::parseNumber(entry, layout.size, &ok, 1);
            if (!ok || layout.size < 0)
                layout.size = 0;
            m_partLayouts.append(layout);
            total += layout.size;
            pendingName.clear();
        }
    }
    m_size = qMax(m_size, total);
}

void TvAppend::readPayload()
{
    readLayouts();
    for (const PartLayout &layout : std::as_const(m_partLayouts)) {
        Part part;
        part.setName(QString::fromLatin1(layout.name));
        part.setDatasize(layout.size);
        if (layout.version != 0)
            part.setVersion(layout.version);
        auto payload = std::make_unique<PayloadWriter>(layout.size);
        m_writers.append(payload.get());
        addPart(part, std::move(payload));
    }

    if (m_streamParser->hasLiteral()) {
        while (!m_streamParser->atLiteralEnd())
            distribute(m_streamParser->readLiteralPart(ImapStreamParser::StreamingChunkSize));
    } else {
        distribute(m_streamParser->readString());
    }
}

void TvAppend::distribute(QByteArray bytes)
{
    while (!bytes.isEmpty() && m_current < m_partLayouts.size()) {
        const qint64 room = m_partLayouts.at(m_current).size - m_currentFill;
        if (room <= 0) {
            ++m_current;
            m_currentFill = 0;
            continue;
        }
        const QByteArray piece = bytes.left(room);
        m_writers.at(m_current)->write(piece);
        m_currentFill += piece.size();
        bytes.remove(0, piece.size());
    }
}

QDateTime TvAppend::itemDateTime(const QDateTime &sent) const
{
    return sent;
}
