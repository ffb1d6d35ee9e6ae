#include "appendhandler.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "services/preprocessormanager.h"
#include "storage/collectionresolver.h"
#include "storage/datastore.h"
#include "storage/payloadwriter.h"
#include "storage/session.h"
#include "storage/transaction.h"

using namespace Talvori;

namespace {

// Item properties that travel as flag tokens: "\MimeType[...]", "\RemoteId[...]",
// "\RemoteRevision[...]". A remote id or revision may contain "]" itself, so it ends at the
// token's last one; a MIME type name never does, so it ends at the first.
struct SpecialFlags {
    QString mimeType;
    QString remoteId;
    QString remoteRevision;
    QList<QByteArray> flags;
};

QByteArray bracketed(const QByteArray &token, bool toLastBracket)
{
    const qsizetype open = token.indexOf('[');
    if (open < 0)
        return QByteArray();
    const qsizetype close = toLastBracket ? token.lastIndexOf(']') : token.indexOf(']', open);
    if (close <= open)
        return token.mid(open + 1);
    return token.mid(open + 1, close - open - 1);
}

SpecialFlags splitFlags(const QList<QByteArray> &tokens)
{
    SpecialFlags result;
    for (const QByteArray &token : tokens) {
        if (token.startsWith("\\MimeType"))
            result.mimeType = QString::fromLatin1(bracketed(token, false));
        else if (token.startsWith("\\RemoteId"))
            result.remoteId = QString::fromUtf8(bracketed(token, true));
        else if (token.startsWith("\\RemoteRevision"))
            result.remoteRevision = QString::fromUtf8(bracketed(token, true));
        else
            result.flags.append(token);
    }
    return result;
}

} // namespace

AppendHandler::AppendHandler() = default;
AppendHandler::~AppendHandler() = default;

void AppendHandler::addPart(const Part &part, std::unique_ptr<PayloadWriter> payload)
{
    m_parts.append(part);
    m_payloads.push_back(std::move(payload));
}

bool AppendHandler::parseStream()
{
    m_collection = m_streamParser->readString();
    m_size = m_streamParser->readNumber();
    if (m_streamParser->hasList())
        m_flags = m_streamParser->readParenthesizedList();
    QDateTime sent;
    if (m_streamParser->hasDateTime())
        sent = m_streamParser->readDateTime();
    m_dateTime = itemDateTime(sent);
    readPayload();
    return commit();
}

bool AppendHandler::commit()
{
    DataStore *store = m_connection->storageBackend();
    Transaction transaction(store);

    const Collection collection = CollectionResolver::findCollection(m_collection);
    if (!collection.isValid())
        return failureResponse("Unknown collection.");

    const SpecialFlags special = splitFlags(m_flags);

    const QString mimeTypeName = special.mimeType.isEmpty() ? QStringLiteral("message/rfc822") : special.mimeType;
    MimeType mimeType = MimeType::retrieveByName(mimeTypeName);
    if (!mimeType.isValid()) {
        MimeType created(mimeTypeName);
        if (!created.insert())
            return failureResponse(QStringLiteral("Unable to create mimetype '%1'.").arg(mimeTypeName));
        mimeType = created;
    }

    PimItem item;
    item.setRev(0);
    item.setSize(m_size);
    if (m_dateTime.isValid())
        item.setDatetime(m_dateTime);

    QList<Part> itemParts = m_parts;
    QList<PayloadWriter *> payloads;
    for (const std::unique_ptr<PayloadWriter> &payload : m_payloads) {
        // A payload that did not reach the disk whole must not turn into a truncated part.
        if (payload && payload->failed())
            return failureResponse("Unable to copy item part data from the temporary file");
        payloads.append(payload.get());
    }

    // With an active chain the item stays hidden until every preprocessor has seen it.
    PreprocessorManager *preprocessors = PreprocessorManager::instance();
    const bool preprocess = preprocessors && preprocessors->chainActive();
    if (preprocess)
        itemParts.append(Part(0, QStringLiteral("ATR:HIDDEN"), QByteArray(), 0, 0, false));

    if (!store->appendPimItem(itemParts, mimeType, collection, m_dateTime, special.remoteId, special.remoteRevision,
                              item, payloads)) {
        return failureResponse("Append failed");
    }

    if (!special.flags.isEmpty()) {
        const QList<Flag> flags = HandlerSupport::flagsForNames(special.flags);
        bool changed = false;
        if (!store->appendItemFlags(item, flags, changed, false, collection))
            return failureResponse("Unable to append item flags.");
    }

    if (!transaction.commit())
        return failureResponse("Unable to commit transaction.");

    if (preprocess)
        preprocessors->beginHandleItem(item, store);

    Response response;
    response.setTag(m_tag);
    response.setUserDefined();
    response.setString("[" + appendedText(item) + "]");
    Q_EMIT responseAvailable(response);
    return successResponse("Append completed");
}

QByteArray AppendHandler::appendedText(const PimItem &item) const
{
    return "UIDNEXT " + QByteArray::number(item.id());
}
