#include "edgelistreader.h"

#include "pythonliteral.h"

#include <edge.h>
#include <graph.h>
#include <node.h>

#include <daxi18n.h>

#include <QIODevice>
#include <QTextStream>

namespace {

// The next run of non-blank characters at or after *pos, moving *pos past it.
QStringView nextWord(QStringView line, qsizetype *pos)
{
    qsizetype start = *pos;
    while (start < line.size() && line.at(start).isSpace())
        ++start;
    qsizetype end = start;
    while (end < line.size() && !line.at(end).isSpace())
        ++end;
    *pos = end;
    return line.mid(start, end - start);
}

} // namespace

EdgeListReader::EdgeListReader(Graph *graph, Format format, Grix::ReadWarnings *warnings)
    : m_graph(graph)
    , m_format(format)
    , m_warnings(warnings)
{
}

void EdgeListReader::read(QIODevice *device)
{
    QTextStream in(device);
    in.setEncoding(QStringConverter::Utf8);
    QString text;
    qint64 number = 0;
    while (in.readLineInto(&text)) {
        ++number;
        QStringView line(text);
        const qsizetype comment = line.indexOf(u'#');
        if (comment >= 0)
            line = line.left(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (m_format == Edges)
            readEdgeLine(line, number);
        else
            readAdjacencyLine(line, number);
    }
}

void EdgeListReader::readEdgeLine(QStringView line, qint64 number)
{
    qsizetype pos = 0;
    const QStringView u = nextWord(line, &pos);
    const QStringView v = nextWord(line, &pos);
    const QStringView rest = line.mid(pos).trimmed();
    QList<QPair<QString, QVariant>> values;
    if (rest.startsWith(u'{')) {
        if (!PythonLiteral::parseDict(rest, &values)) {
            m_warnings->add(i18n("Lines whose data dictionary could not be read were left out"), number);
            return;
        }
    } else if (!rest.isEmpty()) {
        bool ok = false;
        const double weight = rest.toDouble(&ok);
        if (!ok) {
            m_warnings->add(i18n("Lines with more than two names and no weight or data dictionary were left out"), number);
            return;
        }
        values.append({QStringLiteral("weight"), weight});
    }
    Node *from = node(u);
    if (v.isEmpty())
        return;
    addEdge(from, node(v), number, values);
}

void EdgeListReader::readAdjacencyLine(QStringView line, qint64 number)
{
    qsizetype pos = 0;
    Node *from = node(nextWord(line, &pos));
    for (QStringView v = nextWord(line, &pos); !v.isEmpty(); v = nextWord(line, &pos))
        addEdge(from, node(v), number);
}

Node *EdgeListReader::node(QStringView name)
{
    const QString key = name.toString();
    Node *&node = m_nodes[key];
    if (!node)
        node = m_graph->addNode(key);
    return node;
}

bool EdgeListReader::addEdge(Node *from, Node *to, qint64 number, const QList<QPair<QString, QVariant>> &values)
{
    Edge *edge = m_graph->addEdge(from, to);
    if (!edge) {
        m_warnings->add(i18n("Loops and second edges between two nodes, which an undirected graph does not have, were left out"),
                        number);
        return false;
    }
    for (const auto &[name, value] : values) {
        if (value.isValid())
            edge->setAttribute(name, value);
        else
            m_warnings->add(i18n("Data values None were left out"), number);
    }
    return true;
}
