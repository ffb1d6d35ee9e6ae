#include "graphdocument.h"

#include "edge.h"
#include "graph.h"
#include "node.h"

#include <daxdebug.h>
#include <daxsavefile.h>

#include <QFile>
#include <QHash>
#include <QMetaProperty>
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

namespace {

// The second space-separated word of a header line without its "]", as "[Node 3]" gives "3".
QStringView headerWord(QStringView line)
{
    const qsizetype start = line.indexOf(QLatin1Char(' '));
    if (start < 0)
        return {};
    QStringView word = line.mid(start + 1);
    const qsizetype end = word.indexOf(QLatin1Char(' '));
    if (end >= 0)
        word = word.left(end);
    return word;
}

QString withoutBrackets(QStringView word)
{
    QString text = word.toString();
    text.remove(QLatin1Char(']'));
    return text;
}

// Property lines repeat a handful of names; each is turned into bytes and looked up in the
// class's properties once per class instead of on every line of a large file.
class PropertyWriter
{
public:
    void write(QObject *object, QStringView name, const QString &value)
    {
        const QMetaObject *meta = object->metaObject();
        for (const Entry &entry : std::as_const(m_entries)) {
            if (entry.meta == meta && entry.name == name) {
                apply(object, entry, value);
                return;
            }
        }
        Entry entry{meta, name.toString(), name.toUtf8(), -1};
        entry.index = meta->indexOfProperty(entry.bytes.constData());
        m_entries.append(entry);
        apply(object, entry, value);
    }

private:
    struct Entry
    {
        const QMetaObject *meta;
        QString name;
        QByteArray bytes;
        int index; // of the fixed property, or -1 for a dynamic one
    };

    static void apply(QObject *object, const Entry &entry, const QString &value)
    {
        if (entry.index >= 0)
            entry.meta->property(entry.index).write(object, QVariant(value));
        else
            object->setProperty(entry.bytes.constData(), QVariant(value));
    }

    QList<Entry> m_entries;
};

} // namespace

void GraphDocument::loadFromInternalFormat(QIODevice *device)
{
    QTextStream in(device);
    in.setEncoding(QStringConverter::Utf8);
    Graph *graph = nullptr;
    // No setter deletes the object it is called on (setDirected removes edges, but only through
    // the graph's own lines), so a plain pointer to the object being filled is safe.
    QObject *current = nullptr;
    PropertyWriter properties;
    QString line;
    while (in.readLineInto(&line)) {
        line = line.simplified();
        if (line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("[Graph"))) {
            graph = new Graph(this);
            graph->setName(withoutBrackets(headerWord(line)));
            append(graph);
            current = graph;
        } else if (line.startsWith(QLatin1String("[Node"))) {
            current = graph ? graph->addNode(withoutBrackets(headerWord(line))) : nullptr;
        } else if (line.startsWith(QLatin1String("[Edge"))) {
            current = nullptr;
            if (!graph)
                continue;
            const QString ends = withoutBrackets(headerWord(line));
            const qsizetype arrow = ends.indexOf(QLatin1String("->"));
            if (arrow < 0 || ends.indexOf(QLatin1String("->"), arrow + 2) >= 0)
                continue;
            bool fromOk = false;
            bool toOk = false;
            const int from = QStringView(ends).left(arrow).toInt(&fromOk);
            const int to = QStringView(ends).mid(arrow + 2).toInt(&toOk);
            const NodeList nodes = graph->nodes();
            if (!fromOk || !toOk || from < 0 || to < 0 || from >= nodes.size() || to >= nodes.size())
                continue;
            current = graph->addEdge(nodes.at(from), nodes.at(to));
        } else if (line.startsWith(QLatin1String("[Group"))) {
            continue;
        } else if (const qsizetype colon = line.indexOf(QLatin1Char(':')); colon >= 0) {
            const QStringView name = QStringView(line).left(colon).trimmed();
            if (!current || name.isEmpty())
                continue;
            // The value ends at a second colon, if any.
            QStringView value = QStringView(line).mid(colon + 1);
            const qsizetype second = value.indexOf(QLatin1Char(':'));
            if (second >= 0)
                value = value.left(second);
            properties.write(current, name, value.trimmed().toString());
        }
    }
    daxDebug() << "Graph Document Loaded.";
}
