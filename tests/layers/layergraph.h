#ifndef TALVORI_LAYERGRAPH_H
#define TALVORI_LAYERGRAPH_H

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The allowed include arrows between the components of the tree, as layers.txt lists them, and the
// check of a tree's #include lines against them. An include is resolved the way the build resolves
// it: beside the including file first, else by its path among the headers of the tree; one that
// names no header of the tree (Qt, the system, generated files) is not an arrow.
class LayerGraph
{
public:
    struct Violation {
        QString file; // relative to the tree
        int line = 0;
        QString include;
        QString from;
        QString to;
        QString text() const;
    };

    // False with error() when the file cannot be read, names an unknown component or has a cycle.
    bool load(const QString &layersFile);
    QString error() const { return m_error; }
    QStringList components() const { return m_order; }

    // The component of a path relative to the tree: the longest listed folder it lies in.
    QString componentOf(const QString &path) const;
    // Its own files, and those of every component it lists, directly or through the ones listed.
    bool mayInclude(const QString &from, const QString &to) const;

    QList<Violation> check(const QString &root) const;

private:
    bool findCycle(const QString &component, QStringList &path, QSet<QString> &done) const;

    QStringList m_order;
    QHash<QString, QStringList> m_direct;
    QHash<QString, QSet<QString>> m_allowed;
    QString m_error;
};

#endif
