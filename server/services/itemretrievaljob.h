#ifndef TALVORI_ITEMRETRIEVALJOB_H
#define TALVORI_ITEMRETRIEVALJOB_H

#include <QObject>
#include <QString>

class OrgFreedesktopTalvoriResourceInterface;
class QDBusError;
struct ItemRetrievalRequest;

// One "requestItemDelivery" call to a resource, answered asynchronously. A job lives in the item
// retrieval manager's thread as the manager's child, reports once and then deletes itself.
class ItemRetrievalJob : public QObject
{
    Q_OBJECT
public:
    ItemRetrievalJob(ItemRetrievalRequest *request, QObject *parent);

    ItemRetrievalRequest *request() const { return m_request; }
    // Without an interface the request ends at once: the resource is not on the bus.
    void start(OrgFreedesktopTalvoriResourceInterface *interface);

    // The texts a request ends with when it fails.
    static QString unableToContactMessage();
    static QString refusedMessage();
    static QString callFailedMessage(const QString &busError);
    // Whether a failure is the resource's rather than the item's: it could not be reached or did
    // not answer, so asking it for other items now would fail (or wait) the same way. Only a
    // refusal concerns the item alone.
    static bool concernsResource(const QString &errorMessage);

Q_SIGNALS:
    void requestCompleted(ItemRetrievalRequest *request, const QString &errorMessage);

private Q_SLOTS:
    void callFinished(bool delivered);
    void callFailed(const QDBusError &error);

private:
    void complete(const QString &errorMessage);

    ItemRetrievalRequest *m_request;
    // While the call is out; a reply is reported once.
    bool m_active = false;
};

#endif
