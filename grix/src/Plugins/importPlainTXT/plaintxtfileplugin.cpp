#include "plaintxtfileplugin.h"

#include "filepluginfactory.h"

#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <node.h>

#include <daxdebug.h>
#include <daxi18n.h>
#include <daxsavefile.h>

#include <QFile>
#include <QHash>
#include <QStringTokenizer>
#include <QTextStream>

#include <algorithm>

namespace {

// Graph::addEdge(nameFrom, nameTo) scans the node list for every edge; a file of a million edges
// needs the same choice of nodes from an index. The graph takes, for each name, the latest node
// of that name up to the point in the list where both names have been seen. Names are numbered as
// they come, so an edge waiting for the end of the file holds two numbers, not two strings.
class NameIndex
{
public:
    int id(QStringView name)
    {
        const auto it = m_ids.constFind(name.toString());
        if (it != m_ids.constEnd())
            return *it;
        const int id = int(m_positions.size());
        m_ids.insert(name.toString(), id);
        m_positions.append(QList<qsizetype>());
        return id;
    }
    void add(int id, qsizetype position) { m_positions[id].append(position); }

    // Positions of the nodes the graph would pick, or false when a name has no node.
    bool pick(int from, int to, qsizetype *fromPos, qsizetype *toPos) const
    {
        const QList<qsizetype> &f = m_positions.at(from);
        const QList<qsizetype> &t = m_positions.at(to);
        if (f.isEmpty() || t.isEmpty())
            return false;
        const qsizetype stop = std::max(f.first(), t.first());
        *fromPos = latestUpTo(f, stop);
        *toPos = latestUpTo(t, stop);
        return true;
    }

private:
    static qsizetype latestUpTo(const QList<qsizetype> &positions, qsizetype stop)
    {
        return *(std::upper_bound(positions.begin(), positions.end(), stop) - 1);
    }

    QHash<QString, int> m_ids;
    QList<QList<qsizetype>> m_positions; // by id, ascending
};

struct EdgeLine
{
    int from;
    int to;
    qint64 line;
};

// The words of a line split at single spaces, empty ones dropped; at most four are kept, which
// is enough to tell the kinds of line apart.
qsizetype splitWords(QStringView line, QStringView (&words)[4])
{
    qsizetype count = 0;
    for (QStringView word : QStringTokenizer{line, u' ', Qt::SkipEmptyParts}) {
        if (count == 4)
            return 5;
        words[count++] = word;
    }
    return count;
}

} // namespace

PlainTXTFilePlugin::PlainTXTFilePlugin(QObject *parent, const QVariantList &args)
    : Grix::FilePluginInterface(FilePLuginFactory::componentData(), parent)
{
    Q_UNUSED(args)
}

PlainTXTFilePlugin::~PlainTXTFilePlugin() = default;

QStringList PlainTXTFilePlugin::extensions() const
{
    return {i18n("*.txt|Plain TXT Files") + QLatin1Char('\n')};
}

GraphDocument *PlainTXTFilePlugin::readFile(const QString &fileName)
{
    readWarnings().clear();
    auto *doc = new GraphDocument(QStringLiteral("Untitled"), 800, 600);
    Graph *graph = doc->addGraph(QStringLiteral("untitled"));

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_lastError = i18n("Cannot open the file %1. Error: %2", fileName, file.errorString());
        delete doc;
        return nullptr;
    }

    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    NameIndex names;
    QHash<int, Node *> firstNode;
    QList<EdgeLine> edges;
    QList<Node *> nodes;
    QString line;
    qint64 number = 0;
    QStringView words[4];
    while (in.readLineInto(&line)) {
        ++number;
        const qsizetype count = splitWords(QStringView(line).trimmed(), words);
        switch (count) {
        case 1:
        case 3: {
            const int id = names.id(words[0]);
            Node *node = graph->addNode(words[0].toString());
            names.add(id, nodes.size());
            nodes.append(node);
            Node *&first = firstNode[id];
            if (!first)
                first = node;
            if (count == 3) {
                // The first node of that name moves, which is this one unless the name came before.
                first->setX(int(words[1].toDouble()));
                first->setY(int(words[2].toDouble()));
            }
            break;
        }
        case 2:
            edges.append({names.id(words[0]), names.id(words[1]), number});
            break;
        default:
            daxDebug() << i18n("Ignoring line: %1", QStringView(line).trimmed().toString().split(QLatin1Char(' '), Qt::SkipEmptyParts).join(QLatin1Char(' ')));
            if (count > 0) // empty lines are only spacing
                readWarnings().add(i18n("Lines of more than three words were ignored"), number);
            break;
        }
    }
    for (const EdgeLine &edge : std::as_const(edges)) {
        qsizetype fromPos = 0;
        qsizetype toPos = 0;
        if (!names.pick(edge.from, edge.to, &fromPos, &toPos))
            readWarnings().add(i18n("Edges naming a node that has no line of its own were ignored"), edge.line);
        else if (!graph->addEdge(nodes.at(fromPos), nodes.at(toPos)))
            readWarnings().add(i18n("Loops and second edges between two nodes, which the undirected graph does not have, were "
                                    "ignored"),
                               edge.line);
    }
    return doc;
}

bool PlainTXTFilePlugin::writeFile(GraphDocument &document, const QString &fileName)
{
    // Checked before the file is touched, so a failed export never empties an existing file.
    Graph *graph = document.activeGraph();
    if (!graph) {
        m_lastError = i18n("No active graph in this document.");
        return false;
    }
    DaxSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        m_lastError = i18n("Cannot open file %1 to write the document. Error: %2", fileName, file.errorString());
        return false;
    }
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    const NodeList nodes = graph->nodes();
    for (const Node *node : nodes)
        out << node->name() << ' ' << node->x() << ' ' << node->y() << '\n';
    const EdgeList edges = graph->edges();
    for (const Edge *edge : edges)
        out << edge->from()->name() << ' ' << edge->to()->name() << '\n';
    out.flush();
    if (out.status() != QTextStream::Ok || !file.finalize()) {
        m_lastError = i18n("Cannot open file %1 to write the document. Error: %2", fileName, file.errorString());
        return false;
    }
    return true;
}

QString PlainTXTFilePlugin::lastError()
{
    return m_lastError;
}
