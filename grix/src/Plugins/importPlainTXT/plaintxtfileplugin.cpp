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
#include <QTextStream>

#include <algorithm>

namespace {

// Graph::addEdge(nameFrom, nameTo) scans the node list for every edge; a file of a million edges
// needs the same choice of nodes from an index. The graph takes, for each name, the latest node
// of that name up to the point in the list where both names have been seen.
class NameIndex
{
public:
    void add(const QString &name, qsizetype position) { m_positions[name].append(position); }

    // Positions of the nodes the graph would pick, or false when a name has no node.
    bool pick(const QString &from, const QString &to, qsizetype *fromPos, qsizetype *toPos) const
    {
        const auto f = m_positions.constFind(from);
        const auto t = m_positions.constFind(to);
        if (f == m_positions.constEnd() || t == m_positions.constEnd())
            return false;
        const qsizetype stop = std::max(f->first(), t->first());
        *fromPos = latestUpTo(*f, stop);
        *toPos = latestUpTo(*t, stop);
        return true;
    }

private:
    static qsizetype latestUpTo(const QList<qsizetype> &positions, qsizetype stop)
    {
        return *(std::upper_bound(positions.begin(), positions.end(), stop) - 1);
    }

    QHash<QString, QList<qsizetype>> m_positions; // ascending
};

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
    QHash<QString, Node *> firstNode;
    struct EdgeLine
    {
        QString from;
        QString to;
        qint64 line;
    };
    QList<EdgeLine> edges;
    QList<Node *> nodes;
    QString line;
    qint64 number = 0;
    while (in.readLineInto(&line)) {
        ++number;
        const QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        switch (words.size()) {
        case 1:
        case 3: {
            Node *node = graph->addNode(words.first());
            names.add(words.first(), nodes.size());
            nodes.append(node);
            firstNode.insert(words.first(), firstNode.value(words.first(), node));
            if (words.size() == 3) {
                // The first node of that name moves, which is this one unless the name came before.
                Node *target = firstNode.value(words.first());
                target->setX(int(words.at(1).toDouble()));
                target->setY(int(words.at(2).toDouble()));
            }
            break;
        }
        case 2:
            edges.append({words.at(0), words.at(1), number});
            break;
        default:
            daxDebug() << i18n("Ignoring line: %1", words.join(QLatin1Char(' ')));
            if (!words.isEmpty()) // empty lines are only spacing
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
