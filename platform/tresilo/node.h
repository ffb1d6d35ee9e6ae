#ifndef TRESILO_NODE_H
#define TRESILO_NODE_H

#include "languagetag.h"
#include "literalvalue.h"

#include <QMetaType>
#include <QString>
#include <QUrl>

namespace Tresilo {

// One RDF node: empty, a resource named by its URI, a literal, or a blank node named by an
// identifier that is meaningful only within one result.
class Node
{
public:
    // The numbers are the ones nodes travel with on the bus.
    enum Type { EmptyNode = 0, ResourceNode = 1, LiteralNode = 2, BlankNode = 3 };

    Node() = default;
    explicit Node(const QUrl &uri);
    explicit Node(const QString &blankIdentifier);
    explicit Node(const LiteralValue &literal);

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == EmptyNode; }
    bool isResource() const { return m_type == ResourceNode; }
    bool isLiteral() const { return m_type == LiteralNode; }
    bool isBlank() const { return m_type == BlankNode; }

    // Empty unless a resource.
    QUrl uri() const { return m_uri; }
    LiteralValue literal() const { return m_literal; }
    // A literal's language tag and data type; empty for other nodes and for the other kind of
    // literal.
    LanguageTag language() const { return m_literal.language(); }
    QUrl dataType() const { return m_literal.dataTypeUri(); }
    // The URI of a resource, the text of a literal, the identifier of a blank node.
    QString toString() const;

    bool operator==(const Node &other) const;

private:
    Type m_type = EmptyNode;
    QUrl m_uri;
    LiteralValue m_literal;
    QString m_blankIdentifier;
};

} // namespace Tresilo

Q_DECLARE_METATYPE(Tresilo::Node)

#endif
