#ifndef GRAPHDOCUMENT_H
#define GRAPHDOCUMENT_H

#include <QList>
#include <QObject>
#include <QString>

class Graph;
class QIODevice;
class QTextStream;

// What an editor opens and saves: an ordered list of graphs (the document is that list), a name,
// the size of the drawing area and the graph the editor works on.
class GraphDocument : public QObject, public QList<Graph *>
{
    Q_OBJECT
    Q_MOC_INCLUDE("graph.h")
public:
    GraphDocument(const QString &name, int width, int height);
    // A copy lists the same graphs; they stay owned by the document that made them.
    GraphDocument(const GraphDocument &other);
    ~GraphDocument() override;

    QString name() const { return m_name; }
    void setName(const QString &name);
    qreal width() const { return m_width; }
    qreal height() const { return m_height; }
    void setWidth(qreal width) { m_width = width; }
    void setHeight(qreal height) { m_height = height; }
    bool isModified() const { return m_modified; }
    QString documentPath() const { return m_documentPath; }
    void savedDocumentAt(const QString &path) { m_documentPath = path; }

    // Writes the document as a ".graph" file (the extension is added when missing) through a safe
    // save file, so a failed save leaves the old file as it was.
    bool saveAsInternalFormat(const QString &fileName);
    // Appends the graphs of a ".graph" file. Malformed lines are skipped; false only when the file
    // cannot be opened.
    bool loadFromInternalFormat(const QString &fileName);
    void loadFromInternalFormat(QIODevice *device);

public Q_SLOTS:
    Graph *addGraph(const QString &name = QStringLiteral("untitled"));
    Graph *activeGraph() const { return m_activeGraph; }
    void setActiveGraph(Graph *graph);

Q_SIGNALS:
    void graphCreated(Graph *graph);
    void graphRemoved(int index);
    void nameChanged(const QString &name);
    void heightChanged(qreal height);
    void widthChanged(qreal width);
    void activeGraphChanged(Graph *graph);

private:
    friend class Graph;
    // Called by Graph::remove(): the graph leaves the list, and the active graph moves to a
    // neighbour so it never points at a deleted graph.
    void takeGraph(Graph *graph);
    void savePropertiesInternalFormat(QObject *object, QTextStream &out);

    QString m_name;
    QString m_documentPath;
    qreal m_width;
    qreal m_height;
    bool m_modified = false;
    Graph *m_activeGraph = nullptr;
};

#endif
