#include "graphdocument.h"

#include "edge.h"
#include "graph.h"
#include "node.h"

#include <daxdebug.h>
#include <daxsavefile.h>

#include <QFile>
#include <QHash>
#include <QMetaProperty>
#include <QPointer>
#include <QTextStream>

GraphDocument::GraphDocument(const QString &name, int width, int height)
    : m_name(name)
    , m_width(width)
    , m_height(height)
{
}

GraphDocument::GraphDocument(const GraphDocument &other)
    : QObject()
    , QList<Graph *>(other)
    , m_name(other.m_name)
    , m_width(other.m_width)
    , m_height(other.m_height)
{
}

GraphDocument::~GraphDocument()
{
    // A copy shares its source's graphs; only the document that made a graph deletes it.
    const QList<Graph *> graphs = *this;
    clear();
    for (Graph *g : graphs) {
        if (g->parent() == this)
            delete g;
    }
}

void GraphDocument::setName(const QString &name)
{
    m_name = name;
    Q_EMIT nameChanged(name);
}

Graph *GraphDocument::addGraph(const QString &name)
{
    auto *graph = new Graph(this);
    graph->setName(name);
    append(graph);
    m_activeGraph = graph;
    Q_EMIT graphCreated(graph);
    return graph;
}

void GraphDocument::setActiveGraph(Graph *graph)
{
    if (!graph || !contains(graph))
        return;
    m_activeGraph = graph;
    Q_EMIT activeGraphChanged(graph);
}

void GraphDocument::takeGraph(Graph *graph)
{
    const qsizetype index = indexOf(graph);
    if (index < 0)
        return;
    removeAt(index);
    Q_EMIT graphRemoved(int(index));
    if (m_activeGraph == graph) {
        m_activeGraph = isEmpty() ? nullptr : at(qMin(index, count() - 1));
        Q_EMIT activeGraphChanged(m_activeGraph);
    }
}

namespace {
// The format is line based and has no quoting: a line break inside a value would start a new
// record on reading, so it is written as a space.
QString singleLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}
}

void GraphDocument::savePropertiesInternalFormat(QObject *object, QTextStream &out)
{
    const QMetaObject *meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (qstrcmp(property.name(), "objectName") == 0)
            continue;
        out << property.name() << " : " << singleLine(property.read(object).toString()) << " \n";
    }
    const QList<QByteArray> dynamicNames = object->dynamicPropertyNames();
    for (const QByteArray &name : dynamicNames) {
        if (name.startsWith("_q_")) // Qt's own bookkeeping, not user data
            continue;
        out << singleLine(QString::fromUtf8(name)) << " : " << singleLine(object->property(name).toString()) << " \n";
    }
    out << "\n";
}

bool GraphDocument::saveAsInternalFormat(const QString &fileName)
{
    const QString target = fileName.endsWith(QLatin1String(".graph")) ? fileName : QStringLiteral("%1.graph").arg(fileName);
    DaxSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        daxDebug() << "Error: File Not Open";
        return false;
    }
    // Written straight to the file rather than assembled in memory first: a large document
    // would otherwise need its whole text twice.
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    for (qsizetype g = 0; g < count(); ++g) {
        Graph *graph = at(g);
        out << "[Graph " << g << "] \n";
        savePropertiesInternalFormat(graph, out);
        const NodeList nodes = graph->nodes();
        QHash<const Node *, qsizetype> index;
        index.reserve(nodes.size());
        for (qsizetype n = 0; n < nodes.size(); ++n) {
            index.insert(nodes.at(n), n);
            out << "[Node " << n << "]\n";
            savePropertiesInternalFormat(nodes.at(n), out);
        }
        const EdgeList edges = graph->edges();
        for (Edge *edge : edges) {
            // Edges of a node removed but not yet deleted go with it; they have no number to refer to.
            const qsizetype from = index.value(edge->from(), -1);
            const qsizetype to = index.value(edge->to(), -1);
            if (from < 0 || to < 0)
                continue;
            out << "[Edge " << from << "->" << to << "]\n";
            savePropertiesInternalFormat(edge, out);
        }
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !file.finalize()) {
        daxDebug() << "Error, file not saved.";
        return false;
    }
    m_documentPath = fileName;
    return true;
}

bool GraphDocument::loadFromInternalFormat(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        daxDebug() << "File not open " << fileName;
        return false;
    }
    loadFromInternalFormat(&file);
    return true;
}

void GraphDocument::loadFromInternalFormat(QIODevice *device)
{
    QTextStream in(device);
    in.setEncoding(QStringConverter::Utf8);
    Graph *graph = nullptr;
    // Tracked weakly: a later line could, through a setter, delete what an earlier one made.
    QPointer<QObject> current;
    QString line;
    while (in.readLineInto(&line)) {
        line = line.simplified();
        if (line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("[Graph"))) {
            graph = new Graph(this);
            graph->setName(line.section(QLatin1Char(' '), 1, 1).remove(QLatin1Char(']')));
            append(graph);
            current = graph;
        } else if (line.startsWith(QLatin1String("[Node"))) {
            current = graph ? graph->addNode(line.section(QLatin1Char(' '), 1, 1).remove(QLatin1Char(']'))) : nullptr;
        } else if (line.startsWith(QLatin1String("[Edge"))) {
            current = nullptr;
            if (!graph)
                continue;
            const QStringList ends =
                line.section(QLatin1Char(' '), 1, 1).remove(QLatin1Char(']')).split(QLatin1String("->"));
            if (ends.size() != 2)
                continue;
            bool fromOk = false;
            bool toOk = false;
            const int from = ends.at(0).toInt(&fromOk);
            const int to = ends.at(1).toInt(&toOk);
            const NodeList nodes = graph->nodes();
            if (!fromOk || !toOk || from < 0 || to < 0 || from >= nodes.size() || to >= nodes.size())
                continue;
            current = graph->addEdge(nodes.at(from), nodes.at(to));
        } else if (line.startsWith(QLatin1String("[Group"))) {
            continue;
        } else if (line.contains(QLatin1Char(':'))) {
            const QString name = line.section(QLatin1Char(':'), 0, 0).trimmed();
            if (!current || name.isEmpty())
                continue;
            current->setProperty(name.toUtf8(), QVariant(line.section(QLatin1Char(':'), 1, 1).trimmed()));
        }
    }
    daxDebug() << "Graph Document Loaded.";
}
