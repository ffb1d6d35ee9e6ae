#include "graphmlreader.h"

#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>

#include <daxi18n.h>

#include <algorithm>

GraphMLReader::GraphMLReader(GraphDocument *document, Grix::ReadWarnings *warnings)
    : m_document(document)
    , m_warnings(warnings)
{
}

bool GraphMLReader::read(QIODevice *device)
{
    m_xml.setDevice(device);
    if (!m_xml.readNextStartElement() || m_xml.name() != QLatin1String("graphml")) {
        m_error = m_xml.hasError() ? i18n("Not a GraphML file: %1 at line %2", m_xml.errorString(), QString::number(m_xml.lineNumber()))
                                   : i18n("Not a GraphML file: it has no <graphml> element.");
        return false;
    }
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("key"))
            readKey();
        else if (m_xml.name() == QLatin1String("graph"))
            readGraph();
        else
            m_xml.skipCurrentElement(); // <desc>, <data> of the whole file, extensions
    }
    if (m_xml.hasError()) {
        m_error = i18n("Malformed GraphML at line %1, column %2: %3", QString::number(m_xml.lineNumber()),
                       QString::number(m_xml.columnNumber()), m_xml.errorString());
        return false;
    }
    return true;
}

void GraphMLReader::readKey()
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    const qint64 line = m_xml.lineNumber();
    const QString id = attributes.value(QLatin1String("id")).toString();
    const QStringView domain = attributes.value(QLatin1String("for"));
    Key key;
    key.id = id;
    key.name = attributes.value(QLatin1String("attr.name")).toString();
    const QString type = attributes.value(QLatin1String("attr.type")).toString().toLower();
    if (type == QLatin1String("int"))
        key.type = Type::Int;
    else if (type == QLatin1String("long"))
        key.type = Type::Long;
    else if (type == QLatin1String("float") || type == QLatin1String("double"))
        key.type = Type::Real;
    else if (type == QLatin1String("boolean"))
        key.type = Type::Boolean;
    if (key.name.isEmpty())
        key.name = id;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("default"))
            key.defaultValue = typed(key, m_xml.readElementText(QXmlStreamReader::IncludeChildElements), m_xml.lineNumber());
        else
            m_xml.skipCurrentElement();
    }
    if (id.isEmpty()) {
        m_warnings->add(i18n("Keys without an id were left out"), line);
        return;
    }
    const bool all = domain.isEmpty() || domain == QLatin1String("all");
    const QLatin1String names[DomainCount] = {QLatin1String("graph"), QLatin1String("node"), QLatin1String("edge")};
    for (int d = 0; d < DomainCount; ++d) {
        if (!all && domain != names[d])
            continue;
        // A later key of the same id takes the place of the earlier one.
        QList<Key> &keys = m_keys[d];
        auto same = std::find_if(keys.begin(), keys.end(), [&id](const Key &k) { return k.id == id; });
        if (same != keys.end())
            *same = key;
        else
            keys.append(key);
    }
}

void GraphMLReader::readGraph()
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    auto *graph = new Graph(m_document);
    graph->setName(attributes.value(QLatin1String("id")).toString());
    graph->setDirected(attributes.value(QLatin1String("edgedefault")) == QLatin1String("directed"));
    m_document->append(graph);
    if (!m_document->activeGraph())
        m_document->setActiveGraph(graph);

    Ids ids;
    QList<PendingEdge> pending; // edges that name a node before its <node> element
    Values values;
    Seen seen(m_keys[GraphDomain].size());
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("node"))
            readNode(graph, ids);
        else if (m_xml.name() == QLatin1String("edge"))
            readEdge(graph, ids, pending);
        else if (m_xml.name() == QLatin1String("data"))
            readData(GraphDomain, values, seen);
        else if (m_xml.name() == QLatin1String("desc"))
            m_xml.skipCurrentElement();
        else
            skip(i18n("Elements other than nodes, edges and data inside <graph> were left out"));
    }
    addDefaults(GraphDomain, seen, values);
    for (const auto &[name, value] : std::as_const(values))
        graph->setAttribute(name, value);
    for (const PendingEdge &edge : std::as_const(pending)) {
        Node *from = find(ids, edge.source);
        Node *to = find(ids, edge.target);
        if (!from || !to)
            m_warnings->add(i18n("Edges naming a node id the graph does not have were left out"), edge.line);
        else
            addEdge(graph, from, to, edge.line, edge.values);
    }
}

Node *GraphMLReader::find(const Ids &ids, const QString &id)
{
    const auto it = ids.find(id);
    return it == ids.end() ? nullptr : it->second;
}

void GraphMLReader::readNode(Graph *graph, Ids &ids)
{
    const QString id = m_xml.attributes().value(QLatin1String("id")).toString();
    const qint64 line = m_xml.lineNumber();
    const Values values = readValues(NodeDomain);
    if (id.isEmpty()) {
        m_warnings->add(i18n("Nodes without an id were left out"), line);
        return;
    }
    // A second element with the same id adds its values to the node the first one made.
    Node *&node = ids[id];
    if (!node)
        node = graph->addNode(id);
    if (!node)
        return;
    node->startChange();
    for (const auto &[name, value] : values)
        node->setAttribute(name, value);
    node->endChange();
}

void GraphMLReader::readEdge(Graph *graph, const Ids &ids, QList<PendingEdge> &pending)
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    PendingEdge edge{attributes.value(QLatin1String("source")).toString(), attributes.value(QLatin1String("target")).toString(),
                     m_xml.lineNumber(), readValues(EdgeDomain)};
    Node *from = find(ids, edge.source);
    Node *to = find(ids, edge.target);
    if (from && to)
        addEdge(graph, from, to, edge.line, edge.values);
    else
        pending.append(std::move(edge));
}

void GraphMLReader::addEdge(Graph *graph, Node *from, Node *to, qint64 line, const Values &values)
{
    Edge *edge = graph->addEdge(from, to);
    if (!edge) {
        m_warnings->add(graph->directed() ? i18n("Edges the graph refused were left out")
                                          : i18n("Loops and second edges between two nodes, which an undirected graph does not "
                                                 "have, were left out"),
                        line);
        return;
    }
    for (const auto &[name, value] : values)
        edge->setAttribute(name, value);
}

GraphMLReader::Values GraphMLReader::readValues(Domain domain)
{
    Values values;
    Seen seen(m_keys[domain].size());
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("data"))
            readData(domain, values, seen);
        else if (m_xml.name() == QLatin1String("graph"))
            skip(i18n("Nested graphs were left out"));
        else
            m_xml.skipCurrentElement(); // <desc>, <port>, <locator>
    }
    addDefaults(domain, seen, values);
    return values;
}

void GraphMLReader::readData(Domain domain, Values &values, Seen &seen)
{
    const QStringView id = m_xml.attributes().value(QLatin1String("key"));
    const QList<Key> &keys = m_keys[domain];
    const auto key = std::find_if(keys.cbegin(), keys.cend(), [id](const Key &k) { return k.id == id; });
    const qint64 line = m_xml.lineNumber();
    const QString text = m_xml.readElementText(QXmlStreamReader::IncludeChildElements);
    if (key == keys.cend()) {
        m_warnings->add(i18n("Data for keys the file does not declare were left out"), line);
        return;
    }
    // seen was sized before the element; keys declared since are past its end.
    const qsizetype index = key - keys.cbegin();
    if (index < seen.size())
        seen[index] = true;
    values.append({key->name, typed(*key, text, line)});
}

void GraphMLReader::addDefaults(Domain domain, const Seen &seen, Values &values) const
{
    const QList<Key> &keys = m_keys[domain];
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys.at(i).defaultValue.isValid() && !(i < seen.size() && seen.at(i)))
            values.append({keys.at(i).name, keys.at(i).defaultValue});
    }
}

QVariant GraphMLReader::typed(const Key &key, const QString &text, qint64 line)
{
    bool ok = true;
    QVariant value;
    const QStringView trimmed = QStringView(text).trimmed();
    switch (key.type) {
    case Type::Int:
        value = trimmed.toInt(&ok);
        break;
    case Type::Long:
        value = trimmed.toLongLong(&ok);
        break;
    case Type::Real:
        value = trimmed.toDouble(&ok);
        break;
    case Type::Boolean:
        ok = trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
             || trimmed == QLatin1String("1") || trimmed == QLatin1String("0");
        value = trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || trimmed == QLatin1String("1");
        break;
    case Type::Text:
        return text;
    }
    if (ok)
        return value;
    m_warnings->add(i18n("Values that do not fit the type of their key were read as text"), line);
    return text;
}

void GraphMLReader::skip(const QString &problem)
{
    m_warnings->add(problem, m_xml.lineNumber());
    m_xml.skipCurrentElement();
}
