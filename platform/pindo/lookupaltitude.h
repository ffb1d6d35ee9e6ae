#pragma once

#include "geocoordinates.h"

#include <QList>
#include <QObject>
#include <QVariant>

namespace Pindo
{

// Asks a service for the altitudes of places. The caller adds requests, starts the lookup and
// reads the requests back by number when signalRequestsReady() names them; signalDone() ends
// every lookup, also one that failed (errorMessage() then says why).
class LookupAltitude : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        GeoCoordinates coordinates; // gains the altitude when the lookup succeeds
        QVariant data;              // the caller's own
        bool success = false;
    };

    enum Status {
        StatusNotStarted,
        StatusInProgress,
        StatusSuccess,
        StatusError,
        StatusCanceled,
    };

    explicit LookupAltitude(QObject *parent = nullptr);

    virtual QString backendName() const = 0;
    virtual QString backendHumanName() const = 0;

    virtual void addRequests(const QList<Request> &requests) = 0;
    virtual QList<Request> getRequests() const = 0;
    virtual Request getRequest(int index) const = 0;

    virtual void startLookup() = 0;
    virtual void cancel() = 0;
    virtual Status getStatus() const = 0;
    virtual QString errorMessage() const = 0;

Q_SIGNALS:
    void signalRequestsReady(const QList<int> &readyRequests);
    void signalDone();
};

} // namespace Pindo
