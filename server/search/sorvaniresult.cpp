#include "sorvaniresult.h"

#include <QUrlQuery>

namespace Sorvani::Search {

Result::Result(const QUrl &resourceUri, double score)
    : m_resourceUri(resourceUri)
    , m_score(score)
{
}

void Result::addRequestProperty(const QUrl &property, const Tresilo::Node &value)
{
    m_requestProperties.insert(property, value);
}

qint64 Result::uriToItemId(const QUrl &uri)
{
    const QUrlQuery query(uri);
    if (!query.hasQueryItem(QStringLiteral("item")))
        return -1;
    bool ok = false;
    const qint64 id = query.queryItemValue(QStringLiteral("item")).toLongLong(&ok);
    return ok ? id : -1;
}

} // namespace Sorvani::Search
