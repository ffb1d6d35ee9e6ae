#include "node.h"

namespace Tresilo {

Node::Node(const QUrl &uri)
    : m_type(ResourceNode)
    , m_uri(uri)
{
}

Node::Node(const QString &blankIdentifier)
    : m_type(BlankNode)
    , m_blankIdentifier(blankIdentifier)
{
}

Node::Node(const LiteralValue &literal)
    : m_type(literal.isValid() ? LiteralNode : EmptyNode)
    , m_literal(literal)
{
}

QString Node::toString() const
{
    switch (m_type) {
    case ResourceNode:
        return m_uri.toString();
    case LiteralNode:
        return m_literal.toString();
    case BlankNode:
        return m_blankIdentifier;
    case EmptyNode:
        break;
    }
    return QString();
}

bool Node::operator==(const Node &other) const
{
    return m_type == other.m_type && m_uri == other.m_uri && m_literal == other.m_literal
        && m_blankIdentifier == other.m_blankIdentifier;
}

} // namespace Tresilo
