#ifndef TALVORI_LISTINGLINE_H
#define TALVORI_LISTINGLINE_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// One collection listing line as a client reads it back ("* 7 0 (NAME ... )"), split into its
// fields. Tests and benchmarks use it to look at listings field by field.
class ListingLine
{
public:
    // False (and the line left empty) when the text is not a listing line.
    bool parse(const QByteArray &line);

    qint64 id = -1;
    qint64 parentId = -1;
    QString name;
    QList<QByteArray> mimeTypes;
    QString remoteId;
    QString remoteRevision;
    QString resource;
    bool hasStatistics = false;
    qint64 messages = -1;
    qint64 unseen = -1;
    qint64 size = -1;
    // The PERSISTENTSEARCH value once unquoted: "(QUERYLANGUAGE ... QUERYSTRING ...)".
    QByteArray persistentSearch;
    QString queryLanguage;
    QString queryString;
    // The CACHEPOLICY keys and values, LOCALPARTS with its parentheses.
    QMap<QByteArray, QByteArray> cachePolicy;
    bool hasAncestors = false;
    // Parent first; the root entry is (0, "").
    QList<QPair<qint64, QByteArray>> ancestors;
    // Custom attributes in line order.
    QList<QPair<QByteArray, QByteArray>> attributes;
};

#endif
