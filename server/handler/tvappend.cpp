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
            PartSpec spec;
            ImapParser::splitVersionedKey(pendingName, spec.name, spec.version);
            bool ok = false;
            ImapParser::parseNumber(entry, spec.size, &ok, 1);
            if (!ok || spec.size < 0)
                spec.size = 0;
            m_partSpecs.append(spec);
            total += spec.size;
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
    result.reserve(m_partSpecs.size());
    qint64 offset = 0;
    for (const PartSpec &spec : std::as_const(m_partSpecs)) {
        Part part;
        part.setName(QString::fromLatin1(spec.name));
        part.setData(m_partData.mid(offset, spec.size));
        part.setDatasize(spec.size);
        if (spec.version != 0)
            part.setVersion(spec.version);
        result.append(part);
        offset += spec.size;
    }
    return result;
}
