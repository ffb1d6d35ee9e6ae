#include "storage/entity.h"

#include "common/log.h"
#include "storage/cachedquery.h"
#include "storage/countquerybuilder.h"
#include "storage/datastore.h"
#include "storage/isodatetime.h"
#include "storage/querybuilder.h"

#include <QSqlError>
#include <QSqlQuery>

namespace Talvori {

QSqlDatabase Entity::database()
{
    return DataStore::self()->database();
}

bool Entity::databaseIsOpen()
{
    return DataStore::self()->database().isOpen();
}

QString Entity::stringFromVariant(const QVariant &value)
{
    if (value.isNull()) {
        return QString();
    }
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        logDebug() << qPrintable(
            QStringLiteral("Unable to convert variant of type %1 to QString").arg(QLatin1String(value.typeName())));
        return QString();
    }
}

QDateTime Entity::dateTimeFromVariant(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return IsoDateTime::fromText(*static_cast<const QString *>(value.constData()));
    QDateTime dateTime = value.toDateTime();
    if (dateTime.isValid() && dateTime.timeSpec() == Qt::LocalTime)
        dateTime.setTimeSpec(Qt::UTC);
    return dateTime;
}

QVariant Entity::bindableValue(const QVariant &value)
{
    return QueryBuilder::bindableValue(value, QueryBuilder::qsqlDriverNameToDatabaseType(database().driverName()));
}

bool Entity::addToRelation(const QString &table, const QString &leftColumn, const QString &rightColumn, qint64 leftId,
                           qint64 rightId)
{
    if (!databaseIsOpen()) {
        return false;
    }
    CachedQuery statement(QLatin1String("INSERT INTO ") + table + QLatin1String(" ( ") + leftColumn
                          + QLatin1String(" , ") + rightColumn + QLatin1String(" ) VALUES ( :left, :right )"));
    QSqlQuery &query = statement.query();
    query.bindValue(QStringLiteral(":left"), leftId);
    query.bindValue(QStringLiteral(":right"), rightId);
    if (!statement.exec()) {
        logDebug() << "Error during adding a record to table" << table << query.lastError().text();
        DataStore::self()->noteQueryError(query.lastError());
        return false;
    }
    return true;
}

bool Entity::removeFromRelation(const QString &table, const QString &leftColumn, const QString &rightColumn,
                                qint64 leftId, qint64 rightId)
{
    if (!databaseIsOpen()) {
        return false;
    }
    QueryBuilder qb(table, QueryBuilder::DeleteStatement);
    qb.addValueCondition(leftColumn, Query::Equals, leftId);
    qb.addValueCondition(rightColumn, Query::Equals, rightId);
    if (!qb.exec()) {
        logDebug() << "Error during removing a record from relation table" << table
                   << qb.query().lastError().text();
        return false;
    }
    return true;
}

bool Entity::clearRelation(const QString &table, const QString &leftColumn, const QString &rightColumn, qint64 id,
                           RelationSide side)
{
    if (!databaseIsOpen()) {
        return false;
    }
    QueryBuilder qb(table, QueryBuilder::DeleteStatement);
    switch (side) {
    case Left:
        qb.addValueCondition(leftColumn, Query::Equals, id);
        break;
    case Right:
        qb.addValueCondition(rightColumn, Query::Equals, id);
        break;
    default:
        logFatal() << "Invalid enum value";
        return false;
    }
    if (!qb.exec()) {
        logDebug() << "Error during clearing relation table" << table << "for id" << id
                   << qb.query().lastError().text();
        return false;
    }
    return true;
}

bool Entity::relatesTo(const QString &table, const QString &leftColumn, const QString &rightColumn, qint64 leftId,
                       qint64 rightId)
{
    if (!databaseIsOpen()) {
        return false;
    }
    CountQueryBuilder qb(table);
    qb.addValueCondition(leftColumn, Query::Equals, leftId);
    qb.addValueCondition(rightColumn, Query::Equals, rightId);
    if (!qb.exec()) {
        logDebug() << "Error during counting records in table" << table << qb.query().lastError().text();
        return false;
    }
    return qb.result() > 0;
}

} // namespace Talvori
