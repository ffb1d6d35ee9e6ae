#include "sqlinspection.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace SqlInspection {

namespace {

QList<QStringList> select(const QSqlDatabase &db, const QString &sql, int maxRows)
{
    QSqlQuery query(db);
    QList<QStringList> result;
    if (!query.exec(sql)) {
        qWarning() << "inspection query failed:" << sql << query.lastError().text();
        return result;
    }
    while ((maxRows < 0 || result.size() < maxRows) && query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns.append(query.value(i).toString());
        result.append(columns);
    }
    return result;
}

} // namespace

QVariant value(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next()) {
        qWarning() << "inspection query failed:" << sql << query.lastError().text();
        return QVariant();
    }
    return query.value(0);
}

QStringList row(const QSqlDatabase &db, const QString &sql)
{
    const QList<QStringList> selected = select(db, sql, 1);
    if (selected.isEmpty())
        qWarning() << "inspection query selected nothing:" << sql;
    return selected.value(0);
}

QStringList rows(const QSqlDatabase &db, const QString &sql)
{
    QStringList result;
    const QList<QStringList> selected = select(db, sql, -1);
    for (const QStringList &columns : selected)
        result.append(columns.join(QLatin1Char(' ')));
    return result;
}

} // namespace SqlInspection
