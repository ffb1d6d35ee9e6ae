#include "storage/query.h"

namespace Query {

QString compareOperatorToString(CompareOperator op)
{
    switch (op) {
    case Equals:
        return QStringLiteral(" = ");
    case NotEquals:
        return QStringLiteral(" <> ");
    case Is:
        return QStringLiteral(" IS ");
    case IsNot:
        return QStringLiteral(" IS NOT ");
    case Less:
        return QStringLiteral(" < ");
    case LessOrEqual:
        return QStringLiteral(" <= ");
    case Greater:
        return QStringLiteral(" > ");
    case GreaterOrEqual:
        return QStringLiteral(" >= ");
    case In:
        return QStringLiteral(" IN ");
    case NotIn:
        return QStringLiteral(" NOT IN ");
    }
    return QString();
}

QString logicOperatorToString(LogicOperator op)
{
    switch (op) {
    case And:
        return QStringLiteral(" AND ");
    case Or:
        return QStringLiteral(" OR ");
    }
    return QString();
}

QString sortOrderToString(SortOrder order)
{
    switch (order) {
    case Ascending:
        return QStringLiteral(" ASC");
    case Descending:
        return QStringLiteral(" DESC");
    }
    return QString();
}

Condition::Condition(LogicOperator op)
    : m_combineOperator(op)
{
}

void Condition::addValueCondition(const QString &column, CompareOperator op, const QVariant &value)
{
    Condition leaf;
    leaf.m_column = column;
    leaf.m_compareOperator = op;
    leaf.m_comparedValue = value;
    m_subConditions.append(leaf);
}

void Condition::addColumnCondition(const QString &column, CompareOperator op, const QString &column2)
{
    Condition leaf;
    leaf.m_column = column;
    leaf.m_compareOperator = op;
    leaf.m_comparedColumn = column2;
    m_subConditions.append(leaf);
}

void Condition::addCondition(const Condition &condition)
{
    m_subConditions.append(condition);
}

void Condition::setSubQueryMode(LogicOperator op)
{
    m_combineOperator = op;
}

} // namespace Query
