#ifndef GRAPHGROUP_H
#define GRAPHGROUP_H

#include <QList>
#include <QObject>
#include <QString>

class Node;

// A named list of nodes. The graph that makes a group does not keep it; the caller owns it.
class GraphGroup : public QObject, public QList<Node *>
{
    Q_OBJECT
public:
    explicit GraphGroup(QObject *parent = nullptr);

public Q_SLOTS:
    void setName(const QString &name) { m_name = name; }
    QString name() const { return m_name; }

private:
    QString m_name;
};

#endif
