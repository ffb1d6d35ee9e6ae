#include "listingline.h"

#include <imapparser.h>

bool ListingLine::parse(const QByteArray &line)
{
    *this = ListingLine();
    QByteArray text = line;
    if (text.startsWith("* "))
        text.remove(0, 2);

    bool ok = false;
    qint64 number = 0;
    int pos = ImapParser::parseNumber(text, number, &ok, 0);
    if (!ok)
        return false;
    const qint64 parsedId = number;
    pos = ImapParser::parseNumber(text, number, &ok, pos + 1);
    if (!ok)
        return false;
    const qint64 parsedParent = number;

    QList<QByteArray> fields;
    const int end = ImapParser::parseParenthesizedList(text, fields, pos);
    if (end == pos || fields.size() % 2 != 0)
        return false;

    for (qsizetype i = 0; i < fields.size(); i += 2) {
        const QByteArray &key = fields.at(i);
        const QByteArray &value = fields.at(i + 1);
        if (key == "NAME") {
            name = QString::fromUtf8(value);
        } else if (key == "MIMETYPE") {
            ImapParser::parseParenthesizedList(value, mimeTypes);
        } else if (key == "REMOTEID") {
            remoteId = QString::fromUtf8(value);
        } else if (key == "REMOTEREVISION") {
            remoteRevision = QString::fromUtf8(value);
        } else if (key == "RESOURCE") {
            resource = QString::fromUtf8(value);
        } else if (key == "MESSAGES") {
            hasStatistics = true;
            messages = value.toLongLong();
        } else if (key == "UNSEEN") {
            unseen = value.toLongLong();
        } else if (key == "SIZE") {
            size = value.toLongLong();
        } else if (key == "PERSISTENTSEARCH") {
            persistentSearch = value;
            QList<QByteArray> search;
            ImapParser::parseParenthesizedList(value, search);
            for (qsizetype j = 0; j + 1 < search.size(); j += 2) {
                if (search.at(j) == "QUERYLANGUAGE")
                    queryLanguage = QString::fromLatin1(search.at(j + 1));
                else if (search.at(j) == "QUERYSTRING")
                    queryString = QString::fromUtf8(search.at(j + 1));
            }
        } else if (key == "CACHEPOLICY") {
            QList<QByteArray> policy;
            ImapParser::parseParenthesizedList(value, policy);
            for (qsizetype j = 0; j + 1 < policy.size(); j += 2)
                cachePolicy.insert(policy.at(j), policy.at(j + 1));
        } else if (key == "ANCESTORS") {
            hasAncestors = true;
            QList<QByteArray> entries;
            ImapParser::parseParenthesizedList(value, entries);
            for (const QByteArray &entry : std::as_const(entries)) {
                QList<QByteArray> pair;
                ImapParser::parseParenthesizedList(entry, pair);
                if (pair.size() != 2)
                    return false;
                ancestors.append({pair.at(0).toLongLong(), pair.at(1)});
            }
        } else {
            attributes.append({key, value});
        }
    }
    id = parsedId;
    parentId = parsedParent;
    return true;
}
