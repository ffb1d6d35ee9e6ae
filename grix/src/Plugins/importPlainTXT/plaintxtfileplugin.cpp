#include "plaintxtfileplugin.h"

#include "filepluginfactory.h"

#include <edge.h>
#include <graph.h>
#include <graphdocument.h>
#include <namehash.h>
#include <node.h>

#include <daxdebug.h>
#include <daxi18n.h>
#include <daxsavefile.h>

#include <QFile>
#include <QHash>
#include <QStringTokenizer>
#include <QTextStream>

#include <algorithm>
#include <climits>
#include <utility>

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
        if (2 * (m_names.size() + 1) > m_slots.size())
            grow();
        const quint64 hash = nameHash(name);
        for (qsizetype i = slotOf(hash);; i = (i + 1) & (m_slots.size() - 1)) {
            Slot &slot = m_slots[i];
            if (slot.id < 0) {
                slot.hash = hash;
                slot.id = int(m_names.size());
                slot.length = int(name.size());
                std::copy_n(name.utf16(), std::min<qsizetype>(name.size(), ShortName), slot.start);
                m_names.append(name.toString());
                m_first.append(-1);
                return slot.id;
            }
            if (slot.hash == hash && slot.length == name.size()
                && (name.size() <= ShortName ? std::equal(name.utf16(), name.utf16() + name.size(), slot.start)
                                             : m_names.at(slot.id) == name))
                return slot.id;
        }
    }
    // Shares its characters with the index, so a node's name costs no second copy.
    const QString &name(int id) const { return m_names.at(id); }
    void add(int id, qsizetype position)
    {
        if (m_first.at(id) < 0)
            m_first[id] = position;
        else
            m_later[id].append(position);
    }

    // Positions of the nodes the graph would pick, or false when a name has no node.
    bool pick(int from, int to, qsizetype *fromPos, qsizetype *toPos) const
    {
        const qsizetype f = m_first.at(from);
        const qsizetype t = m_first.at(to);
        if (f < 0 || t < 0)
            return false;
        const qsizetype stop = std::max(f, t);
        *fromPos = latestUpTo(from, f, stop);
        *toPos = latestUpTo(to, t, stop);
        return true;
    }

private:
    // The table keeps each name's hash, and the characters of a short name, so most look-ups
    // never touch the name's own string (which, a million edges in, is a cache miss each time).
    static constexpr qsizetype ShortName = 8;
    struct Slot
    {
        quint64 hash = 0;
        int id = -1;
        int length = 0;
        char16_t start[ShortName] = {};
    };

    qsizetype slotOf(quint64 hash) const { return qsizetype((hash * 0x9E3779B97F4A7C15ULL) >> 20) & (m_slots.size() - 1); }

    void grow()
    {
        const QList<Slot> old = std::exchange(m_slots, QList<Slot>(std::max<qsizetype>(1024, 2 * m_slots.size())));
        for (const Slot &slot : old) {
            if (slot.id < 0)
                continue;
            qsizetype i = slotOf(slot.hash);
            while (m_slots.at(i).id >= 0)
                i = (i + 1) & (m_slots.size() - 1);
            m_slots[i] = slot;
        }
    }

    qsizetype latestUpTo(int id, qsizetype first, qsizetype stop) const
    {
        const auto later = m_later.constFind(id);
        if (later == m_later.constEnd() || later->first() > stop)
            return first;
        return *(std::upper_bound(later->begin(), later->end(), stop) - 1);
    }

    QList<Slot> m_slots; // open addressing, at most half full
    QList<QString> m_names; // by id
    QList<qsizetype> m_first; // by id: position of the first node of that name, or -1
    QHash<int, QList<qsizetype>> m_later; // the positions of further nodes of a name, ascending
};

// Kept small: a file of a million edges holds them all until its end.
struct EdgeLine
{
    int from;
    int to;
    int line;
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
            Node *node = graph->addNode(names.name(id));
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
            edges.append({names.id(words[0]), names.id(words[1]), int(std::min<qint64>(number, INT_MAX))});
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
