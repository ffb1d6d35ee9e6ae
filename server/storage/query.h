#ifndef TALVORI_QUERY_H
#define TALVORI_QUERY_H

#include <QList>
#include <QString>
#include <QVariant>

// Pieces of statements built by QueryBuilder.
namespace Query {

enum CompareOperator { Equals, NotEquals, Is, IsNot, Less, LessOrEqual, Greater, GreaterOrEqual, In, NotIn };

enum LogicOperator { And, Or };

enum SortOrder { Ascending, Descending };

// The SQL text of each operator (" = ", " AND ", " DESC", ...); empty for a value outside the enum.
QString compareOperatorToString(CompareOperator op);
QString logicOperatorToString(LogicOperator op);
QString sortOrderToString(SortOrder order);

// A tree of comparisons. A condition without sub-conditions is a leaf: column, operator and either
// a second column or a value. A condition with sub-conditions is a group whose members are joined
// by its combine operator; a group ignores its own column fields.
class Condition
{
public:
    using List = QList<Condition>;

    explicit Condition(LogicOperator op = And);

    void addValueCondition(const QString &column, CompareOperator op, const QVariant &value);
    void addColumnCondition(const QString &column, CompareOperator op, const QString &column2);
    void addCondition(const Condition &condition);
    void setSubQueryMode(LogicOperator op);

    bool isEmpty() const { return m_subConditions.isEmpty(); }
    const List &subConditions() const { return m_subConditions; }

    QString column() const { return m_column; }
    QString comparedColumn() const { return m_comparedColumn; }
    QVariant comparedValue() const { return m_comparedValue; }
    CompareOperator compareOperator() const { return m_compareOperator; }
    LogicOperator combineOperator() const { return m_combineOperator; }

private:
    List m_subConditions;
    QString m_column;
    QString m_comparedColumn;
    QVariant m_comparedValue;
    CompareOperator m_compareOperator = Equals;
    LogicOperator m_combineOperator;
};

} // namespace Query

#endif
