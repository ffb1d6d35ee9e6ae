#include "tvappend.h"

#include "protocol/imapstreamparser.h"

#include <imapparser.h>

using namespace Talvori;

void TvAppend::readPayload()
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
    m_partData = m_streamParser->readString();
}

QDateTime TvAppend::itemDateTime(const QDateTime &sent) const
{
    return sent;
}

QList<Part> TvAppend::parts()
{
    QList<Part> result;
    result.reserve(m_partLayouts.size());
    qint64 offset = 0;
    for (const PartLayout &layout : std::as_const(m_partLayouts)) {
        Part part;
        part.setName(QString::fromLatin1(layout.name));
        part.setData(m_partData.mid(offset, layout.size));
        part.setDatasize(layout.size);
        if (layout.version != 0)
            part.setVersion(layout.version);
        result.append(part);
        offset += layout.size;
    }
    return result;
}
