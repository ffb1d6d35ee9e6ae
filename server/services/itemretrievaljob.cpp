#include "itemretrievaljob.h"

#include "itemretrievalrequest.h"
#include "retrievallog.h"
#include "services/resourceinterface.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

ItemRetrievalJob::ItemRetrievalJob(ItemRetrievalRequest *request, QObject *parent)
    : QObject(parent)
    , m_request(request)
{
}

QString ItemRetrievalJob::unableToContactMessage()
{
    return QStringLiteral("Unable to contact resource");
}

QString ItemRetrievalJob::refusedMessage()
{
    return QStringLiteral("Resource was unable to deliver item");
}

QString ItemRetrievalJob::callFailedMessage(const QString &busError)
{
    return QStringLiteral("Unable to retrieve item from resource: %1").arg(busError);
}

bool ItemRetrievalJob::concernsResource(const QString &errorMessage)
{
    return !errorMessage.isEmpty() && errorMessage != refusedMessage();
}

void ItemRetrievalJob::start(OrgFreedesktopTalvoriResourceInterface *interface)
{
    qCDebug(lcRetrieval) << "processing retrieval request for item" << m_request->id << " parts:" << m_request->parts
                         << " of resource:" << m_request->resourceId;
    if (!interface) {
        complete(unableToContactMessage());
        return;
    }
    m_active = true;
    // The interface carries the delivery time limit, so a resource that never answers ends here
    // with the bus library's "no reply" error once it is over.
    const QDBusPendingReply<bool> reply
        = interface->requestItemDelivery(m_request->id, QString::fromUtf8(m_request->remoteId),
                                         QString::fromUtf8(m_request->mimeType), m_request->parts);
    auto *watcher = new QDBusPendingCallWatcher(reply, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<bool> answer = *call;
        call->deleteLater();
        if (answer.isError())
            callFailed(answer.error());
        else
            callFinished(answer.value());
    });
}

void ItemRetrievalJob::callFinished(bool delivered)
{
    if (m_active)
        complete(delivered ? QString() : refusedMessage());
}

void ItemRetrievalJob::callFailed(const QDBusError &error)
{
    if (m_active)
        complete(callFailedMessage(error.message()));
}

void ItemRetrievalJob::complete(const QString &errorMessage)
{
    m_active = false;
    Q_EMIT requestCompleted(m_request, errorMessage);
    deleteLater();
}
