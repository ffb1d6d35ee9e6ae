#include "lookupaltitudegeonames.h"

#include "daxappi18n.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

#include <QHash>
#include <QPair>

#include <algorithm>

namespace Pindo
{

namespace {
QUrl &overriddenBaseUrl()
{
    static QUrl url;
    return url;
}

// Answers below this are the service's "no data" marker (-32768) or nonsense.
constexpr double LowestAltitude = -12000.0;
} // namespace

LookupAltitudeGeonames::LookupAltitudeGeonames(QObject *parent)
    : LookupAltitude(parent)
    , m_baseUrl(defaultBaseUrl())
    , m_userName(qEnvironmentVariable("PINDO_GEONAMES_USER", QStringLiteral("demo")))
{
}

LookupAltitudeGeonames::~LookupAltitudeGeonames()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QUrl LookupAltitudeGeonames::defaultBaseUrl()
{
    if (overriddenBaseUrl().isValid()) {
        return overriddenBaseUrl();
    }
    const QString fromEnvironment = qEnvironmentVariable("PINDO_GEONAMES_URL");
    if (!fromEnvironment.isEmpty()) {
        return QUrl(fromEnvironment);
    }
    return QUrl(QStringLiteral("http://api.geonames.org/"));
}

void LookupAltitudeGeonames::setDefaultBaseUrl(const QUrl &url)
{
    overriddenBaseUrl() = url;
}

void LookupAltitudeGeonames::setBaseUrl(const QUrl &url)
{
    m_baseUrl = url;
}

void LookupAltitudeGeonames::setTimeout(int milliseconds)
{
    m_timeout = milliseconds;
}

QString LookupAltitudeGeonames::backendName() const
{
    return QStringLiteral("geonames");
}

QString LookupAltitudeGeonames::backendHumanName() const
{
    return i18n("GeoNames");
}

void LookupAltitudeGeonames::addRequests(const QList<Request> &requests)
{
    m_requests.append(requests);
}

QList<LookupAltitude::Request> LookupAltitudeGeonames::getRequests() const
{
    return m_requests;
}

LookupAltitude::Request LookupAltitudeGeonames::getRequest(int index) const
{
    return index >= 0 && index < m_requests.size() ? m_requests.at(index) : Request();
}

LookupAltitude::Status LookupAltitudeGeonames::getStatus() const
{
    return m_status;
}

QString LookupAltitudeGeonames::errorMessage() const
{
    return m_errorMessage;
}

void LookupAltitudeGeonames::startLookup()
{
    if (m_status == StatusInProgress) {
        return;
    }
    m_points.clear();
    QHash<QPair<double, double>, int> pointOfPlace;
    for (int i = 0; i < m_requests.size(); ++i) {
        const GeoCoordinates &coordinates = m_requests.at(i).coordinates;
        if (!coordinates.hasCoordinates()) {
            continue;
        }
        const QPair<double, double> place(coordinates.lat(), coordinates.lon());
        const auto same = pointOfPlace.constFind(place);
        if (same == pointOfPlace.constEnd()) {
            pointOfPlace.insert(place, m_points.size());
            m_points.append({coordinates.lat(), coordinates.lon(), {i}});
        } else {
            m_points[*same].requests.append(i);
        }
    }
    m_nextPoint = 0;
    m_status = StatusInProgress;
    m_errorMessage.clear();
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    // Answers arrive after startLookup() returns, also when there is nothing to ask.
    QTimer::singleShot(0, this, &LookupAltitudeGeonames::sendNextBatch);
}

void LookupAltitudeGeonames::cancel()
{
    if (m_status != StatusInProgress) {
        return;
    }
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    finish(StatusCanceled);
}

void LookupAltitudeGeonames::sendNextBatch()
{
    if (m_status != StatusInProgress) {
        return;
    }
    if (m_nextPoint >= m_points.size()) {
        finish(StatusSuccess);
        return;
    }
    m_batchSize = std::min<int>(MaxPointsPerQuery, m_points.size() - m_nextPoint);
    QStringList lats;
    QStringList lons;
    for (int i = m_nextPoint; i < m_nextPoint + m_batchSize; ++i) {
        lats.append(QString::number(m_points.at(i).lat, 'f', 7));
        lons.append(QString::number(m_points.at(i).lon, 'f', 7));
    }
    QUrl url = m_baseUrl;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    url.setPath(path + QStringLiteral("srtm3"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("lats"), lats.join(QLatin1Char(',')));
    query.addQueryItem(QStringLiteral("lngs"), lons.join(QLatin1Char(',')));
    query.addQueryItem(QStringLiteral("username"), m_userName);
    url.setQuery(query);

    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeout);
    m_reply = m_network->get(request);
    QNetworkReply *reply = m_reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply]() { batchFinished(reply); });
}

void LookupAltitudeGeonames::batchFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply) {
        return;
    }
    m_reply = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        finish(StatusError, i18n("The altitude service could not be reached: %1", reply->errorString()));
        return;
    }
    // One height per line, in the order the places were asked for.
    const QStringList lines = QString::fromUtf8(reply->readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QList<double> heights;
    for (const QString &line : lines) {
        bool ok = false;
        const double height = line.trimmed().toDouble(&ok);
        if (!ok) {
            finish(StatusError, i18n("The altitude service gave an unexpected answer: %1", line.trimmed().left(200)));
            return;
        }
        heights.append(height);
    }
    if (heights.size() != m_batchSize) {
        finish(StatusError, i18n("The altitude service answered %1 heights for %2 places.", heights.size(), m_batchSize));
        return;
    }
    QList<int> ready;
    for (int i = 0; i < m_batchSize; ++i) {
        const Point &point = m_points.at(m_nextPoint + i);
        if (heights.at(i) < LowestAltitude) {
            continue; // no data for this place
        }
        for (int requestNumber : point.requests) {
            m_requests[requestNumber].coordinates.setAlt(heights.at(i));
            m_requests[requestNumber].success = true;
            ready.append(requestNumber);
        }
    }
    m_nextPoint += m_batchSize;
    if (!ready.isEmpty()) {
        Q_EMIT signalRequestsReady(ready);
    }
    if (m_status == StatusInProgress) {
        sendNextBatch();
    }
}

void LookupAltitudeGeonames::finish(Status status, const QString &error)
{
    m_status = status;
    m_errorMessage = error;
    Q_EMIT signalDone();
}

} // namespace Pindo
