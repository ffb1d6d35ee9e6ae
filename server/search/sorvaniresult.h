#ifndef TALVORI_SORVANIRESULT_H
#define TALVORI_SORVANIRESULT_H

#include <node.h>

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QUrl>

namespace Sorvani::Search {

// One result of a semantic query: the resource it names, its score and the request properties the
// query asked for. The server reads only the resource URI, whose query item "item" names the item.
class Result
{
public:
    Result() = default;
    explicit Result(const QUrl &resourceUri, double score = 0.0);

    QUrl resourceUri() const { return m_resourceUri; }
    void setResourceUri(const QUrl &uri) { m_resourceUri = uri; }
    double score() const { return m_score; }
    void setScore(double score) { m_score = score; }
    QHash<QUrl, Tresilo::Node> requestProperties() const { return m_requestProperties; }
    void addRequestProperty(const QUrl &property, const Tresilo::Node &value);

    // The item the result names; -1 when its URI carries no query item "item" with a decimal
    // number (such results name no item).
    qint64 itemId() const { return uriToItemId(m_resourceUri); }
    static qint64 uriToItemId(const QUrl &uri);

private:
    QUrl m_resourceUri;
    double m_score = 0.0;
    QHash<QUrl, Tresilo::Node> m_requestProperties;
};

} // namespace Sorvani::Search

Q_DECLARE_METATYPE(Sorvani::Search::Result)
Q_DECLARE_METATYPE(QList<Sorvani::Search::Result>)

#endif
