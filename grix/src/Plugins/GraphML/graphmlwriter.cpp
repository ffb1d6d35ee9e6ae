#include "graphmlwriter.h"

#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>

#include <QLocale>
#include <QSet>
#include <QXmlStreamWriter>

namespace {

const char *const DomainNames[] = {"graph", "node", "edge"};

QString typeOf(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QStringLiteral("boolean");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return QStringLiteral("int");
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QStringLiteral("long");
    case QMetaType::Float:
    case QMetaType::Double:
        return QStringLiteral("double");
    default:
        return QStringLiteral("string");
    }
}

// The narrowest type both values fit: numbers widen to long, then double; anything else is text.
QString widened(const QString &a, const QString &b)
{
    if (a == b)
        return a;
    const QStringList numbers = {QStringLiteral("int"), QStringLiteral("long"), QStringLiteral("double")};
    if (numbers.contains(a) && numbers.contains(b))
        return numbers.indexOf(a) > numbers.indexOf(b) ? a : b;
    return QStringLiteral("string");
}

QString text(const QVariant &value)
{
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    return value.toString();
}

// Node ids: the names when they are unique and not empty, else positions.
bool namesAreIds(const NodeList &nodes)
{
    QSet<QString> names;
    names.reserve(nodes.size());
    for (const Node *n : nodes) {
        if (n->name().isEmpty() || names.contains(n->name()))
            return false;
        names.insert(n->name());
    }
    return true;
}

} // namespace

GraphMLWriter::GraphMLWriter(const GraphDocument &document)
    : m_document(document)
{
}

void GraphMLWriter::addKey(Domain domain, const QString &name, const QString &type)
{
    auto it = m_keys[domain].find(name);
    if (it == m_keys[domain].end()) {
        m_keys[domain].insert(name, {QStringLiteral("d%1").arg(m_nextKey++), type});
        m_keyOrder[domain].append(name);
    } else {
        it->type = widened(it->type, type);
    }
}

void GraphMLWriter::collectKeys()
{
    auto collect = [this](Domain domain, const GraphElement *element) {
        for (const QByteArray &name : element->userPropertyNames())
            addKey(domain, QString::fromUtf8(name), typeOf(element->property(name)));
    };
    for (const Graph *graph : m_document) {
        collect(GraphDomain, graph);
        const NodeList nodes = graph->nodes();
        if (!namesAreIds(nodes))
            addKey(NodeDomain, QStringLiteral("name"), QStringLiteral("string"));
        for (const Node *n : nodes)
            collect(NodeDomain, n);
        const EdgeList edges = graph->edges();
        for (const Edge *e : edges)
            collect(EdgeDomain, e);
    }
}

void GraphMLWriter::writeKeys(QXmlStreamWriter &xml) const
{
    for (int domain = 0; domain < DomainCount; ++domain) {
        for (const QString &name : m_keyOrder[domain]) {
            const Key &key = m_keys[domain].value(name);
            xml.writeEmptyElement(QStringLiteral("key"));
            xml.writeAttribute(QStringLiteral("id"), key.id);
            xml.writeAttribute(QStringLiteral("for"), QLatin1String(DomainNames[domain]));
            xml.writeAttribute(QStringLiteral("attr.name"), name);
            xml.writeAttribute(QStringLiteral("attr.type"), key.type);
        }
    }
}

void GraphMLWriter::writeData(QXmlStreamWriter &xml, Domain domain, const GraphElement *element) const
{
    for (const QByteArray &name : element->userPropertyNames()) {
        xml.writeStartElement(QStringLiteral("data"));
        xml.writeAttribute(QStringLiteral("key"), m_keys[domain].value(QString::fromUtf8(name)).id);
        xml.writeCharacters(text(element->property(name)));
        xml.writeEndElement();
    }
}

bool GraphMLWriter::write(QIODevice *device)
{
    collectKeys();
    QXmlStreamWriter xml(device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("graphml"));
    xml.writeDefaultNamespace(QStringLiteral("http://graphml.graphdrawing.org/xmlns"));
    writeKeys(xml);
    QSet<QString> graphIds;
    for (qsizetype g = 0; g < m_document.size(); ++g) {
        const Graph *graph = m_document.at(g);
        QString id = graph->name();
        if (id.isEmpty() || graphIds.contains(id))
            id = QStringLiteral("G%1").arg(g);
        graphIds.insert(id);
        xml.writeStartElement(QStringLiteral("graph"));
        xml.writeAttribute(QStringLiteral("id"), id);
        xml.writeAttribute(QStringLiteral("edgedefault"), graph->directed() ? QStringLiteral("directed") : QStringLiteral("undirected"));
        writeData(xml, GraphDomain, graph);

        const NodeList nodes = graph->nodes();
        const bool byName = namesAreIds(nodes);
        QHash<const Node *, QString> ids;
        ids.reserve(nodes.size());
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            const Node *n = nodes.at(i);
            const QString nodeId = byName ? n->name() : QStringLiteral("n%1").arg(i);
            ids.insert(n, nodeId);
            xml.writeStartElement(QStringLiteral("node"));
            xml.writeAttribute(QStringLiteral("id"), nodeId);
            if (!byName) {
                xml.writeStartElement(QStringLiteral("data"));
                xml.writeAttribute(QStringLiteral("key"), m_keys[NodeDomain].value(QStringLiteral("name")).id);
                xml.writeCharacters(n->name());
                xml.writeEndElement();
            }
            writeData(xml, NodeDomain, n);
            xml.writeEndElement();
        }
        const EdgeList edges = graph->edges();
        for (const Edge *e : edges) {
            // Edges of a node removed but not yet deleted go with it.
            const auto from = ids.constFind(e->from());
            const auto to = ids.constFind(e->to());
            if (from == ids.constEnd() || to == ids.constEnd())
                continue;
            xml.writeStartElement(QStringLiteral("edge"));
            xml.writeAttribute(QStringLiteral("source"), *from);
            xml.writeAttribute(QStringLiteral("target"), *to);
            writeData(xml, EdgeDomain, e);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError();
}
