#ifndef GRAPHMLWRITER_H
#define GRAPHMLWRITER_H

#include <QHash>
#include <QList>
#include <QString>

class GraphDocument;
class GraphElement;
class QIODevice;
class QXmlStreamWriter;

// Writes every graph of a document as GraphML: one <graph> per graph (its id the graph's name,
// edgedefault from its kind), nodes with their names as ids (or "n0", "n1", ... with a "name"
// value when the names are not unique), and the user properties of graphs, nodes and edges as
// <data> under keys typed by their values (boolean, int, long, double, else string).
class GraphMLWriter
{
public:
    explicit GraphMLWriter(const GraphDocument &document);

    bool write(QIODevice *device);

private:
    enum Domain { GraphDomain, NodeDomain, EdgeDomain, DomainCount };
    struct Key
    {
        QString id;
        QString type;
    };

    void collectKeys();
    void addKey(Domain domain, const QString &name, const QString &type);
    void writeKeys(QXmlStreamWriter &xml) const;
    void writeData(QXmlStreamWriter &xml, Domain domain, const GraphElement *element) const;

    const GraphDocument &m_document;
    QHash<QString, Key> m_keys[DomainCount]; // by property name
    QList<QString> m_keyOrder[DomainCount];
    int m_nextKey = 0;
};

#endif
