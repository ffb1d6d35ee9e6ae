#ifndef TALVORI_ENTITY_H
#define TALVORI_ENTITY_H

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class QSqlQuery;

namespace Talvori {

// Base of every table record: the row's id, -1 for a record that was never stored or not found.
// Also holds the pieces every generated record shares: the thread's database and the n:m relation
// statements, written once here instead of once per relation.
class Entity
{
public:
    enum RelationSide { Left, Right };

    qint64 id() const { return m_id; }
    void setId(qint64 id) { m_id = id; }
    bool isValid() const { return m_id != -1; }

    // Relation maintenance for a relation class R (PimItemFlagRelation, ...).
    template<typename R>
    static bool addToRelation(qint64 leftId, qint64 rightId)
    {
        return addToRelation(R::tableName(), R::leftColumn(), R::rightColumn(), leftId, rightId);
    }
    template<typename R>
    static bool removeFromRelation(qint64 leftId, qint64 rightId)
    {
        return removeFromRelation(R::tableName(), R::leftColumn(), R::rightColumn(), leftId, rightId);
    }
    // Deletes every row whose column on the given side holds id.
    template<typename R>
    static bool clearRelation(qint64 id, RelationSide side = Left)
    {
        return clearRelation(R::tableName(), R::leftColumn(), R::rightColumn(), id, side);
    }
    template<typename R>
    static bool relatesTo(qint64 leftId, qint64 rightId)
    {
        return relatesTo(R::tableName(), R::leftColumn(), R::rightColumn(), leftId, rightId);
    }

    // Times are stored in UTC; a time that comes back without a zone (column defaults, drivers
    // that drop it) is UTC too, not the server's local time.
    static QDateTime dateTimeFromVariant(const QVariant &value);
    // Text columns come back as strings or, from binary column types, as UTF-8 bytes.
    static QString stringFromVariant(const QVariant &value);

protected:
    Entity() = default;
    explicit Entity(qint64 id)
        : m_id(id)
    {
    }

    // The calling thread's connection (DataStore::self()).
    static QSqlDatabase database();
    static bool databaseIsOpen();
    // The form in which a value is bound to a named placeholder of the thread's connection; text
    // goes to PostgreSQL as bytes because its text columns are binary there.
    static QVariant bindableValue(const QVariant &value);

private:
    static bool addToRelation(const QString &table, const QString &leftColumn, const QString &rightColumn,
                              qint64 leftId, qint64 rightId);
    static bool removeFromRelation(const QString &table, const QString &leftColumn, const QString &rightColumn,
                                   qint64 leftId, qint64 rightId);
    static bool clearRelation(const QString &table, const QString &leftColumn, const QString &rightColumn, qint64 id,
                              RelationSide side);
    static bool relatesTo(const QString &table, const QString &leftColumn, const QString &rightColumn,
                          qint64 leftId, qint64 rightId);

    qint64 m_id = -1;
};

} // namespace Talvori

#endif
