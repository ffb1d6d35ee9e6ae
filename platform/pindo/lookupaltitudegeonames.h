#pragma once

#include "lookupaltitude.h"

#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace Pindo
{

// Altitudes from the GeoNames elevation web service ("srtm3": one HTTP GET per batch of up to 20
// places, one height in metres per answer line; -32768 where there is no data, for example over
// the sea). Places given more than once are asked for once. Batches are sent one after another.
class LookupAltitudeGeonames : public LookupAltitude
{
    Q_OBJECT
public:
    static constexpr int MaxPointsPerQuery = 20;

    explicit LookupAltitudeGeonames(QObject *parent = nullptr);
    ~LookupAltitudeGeonames() override;

    // The service's address. The default comes from the environment variable
    // PINDO_GEONAMES_URL, else the public service; the account name from PINDO_GEONAMES_USER.
    static QUrl defaultBaseUrl();
    static void setDefaultBaseUrl(const QUrl &url);
    void setBaseUrl(const QUrl &url);
    QUrl baseUrl() const { return m_baseUrl; }
    // Milliseconds a batch may take before it counts as failed.
    void setTimeout(int milliseconds);

    QString backendName() const override;
    QString backendHumanName() const override;
    void addRequests(const QList<Request> &requests) override;
    QList<Request> getRequests() const override;
    Request getRequest(int index) const override;
    void startLookup() override;
    void cancel() override;
    Status getStatus() const override;
    QString errorMessage() const override;

private:
    struct Point
    {
        double lat;
        double lon;
        QList<int> requests;
    };

    void sendNextBatch();
    void batchFinished(QNetworkReply *reply);
    void finish(Status status, const QString &error = QString());

    QUrl m_baseUrl;
    QString m_userName;
    int m_timeout = 20000;
    QList<Request> m_requests;
    QList<Point> m_points;
    int m_nextPoint = 0;
    int m_batchSize = 0;
    Status m_status = StatusNotStarted;
    QString m_errorMessage;
    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_reply = nullptr;
};

} // namespace Pindo
