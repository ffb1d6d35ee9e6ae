#ifndef GRAPHMLREADER_H
#define GRAPHMLREADER_H

#include <namehash.h>
#include <readwarnings.h>

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QXmlStreamReader>

#include <unordered_map>

class GraphDocument;
class GraphElement;
class Graph;
class Node;
class QIODevice;

// Reads GraphML as a stream (no DOM, so a large file costs only what it builds): every <graph>
// of the file becomes a graph of the document, named by its id and directed as its edgedefault
// says; nodes are named by their ids; <data> values become properties typed by their <key>
// (int and long as integers, float and double as reals, boolean, string): a fixed property when
// the element has one of that name, else a user property. Edges to unknown ids, edges the
// graph's rules refuse, nested graphs and values that do not fit their type are counted in the
// warnings, never dropped silently.
class GraphMLReader
{
public:
    GraphMLReader(GraphDocument *document, Grix::ReadWarnings *warnings);

    // False with error() when the input is not well-formed GraphML; graphs read before the fault
    // stay in the document.
    bool read(QIODevice *device);
    QString error() const { return m_error; }

private:
    enum Domain { GraphDomain, NodeDomain, EdgeDomain, DomainCount };
    enum class Type { Int, Long, Real, Boolean, Text };
    struct Key
    {
        QString id;
        QString name;
        Type type = Type::Text;
        QVariant defaultValue;
    };
    // Which keys of a domain an element has given a value, by their place in that domain's list.
    using Seen = QList<bool>;
    using Values = QList<QPair<QString, QVariant>>;
    struct PendingEdge
    {
        QString source;
        QString target;
        qint64 line;
        Values values;
    };

    void readKey();
    void readGraph();
    using Ids = std::unordered_map<QString, Node *, NameHash>;
    void readNode(Graph *graph, Ids &ids);
    void readEdge(Graph *graph, const Ids &ids, QList<PendingEdge> &pending);
    static Node *find(const Ids &ids, const QString &id);
    // The <data> children of the current element, with the defaults of the keys it leaves out.
    Values readValues(Domain domain);
    // One <data> element: adds its key's name and typed value to values, marks the key as seen.
    void readData(Domain domain, Values &values, Seen &seen);
    void addDefaults(Domain domain, const Seen &seen, Values &values) const;
    void addEdge(Graph *graph, Node *from, Node *to, qint64 line, const Values &values);
    QVariant typed(const Key &key, const QString &text, qint64 line);
    void skip(const QString &problem);

    GraphDocument *m_document;
    Grix::ReadWarnings *m_warnings;
    QXmlStreamReader m_xml;
    // A file declares a handful of keys, so a list searched by id beats hashing every <data>'s id.
    QList<Key> m_keys[DomainCount]; // a key "for" all is in each
    QString m_error;
};

#endif
