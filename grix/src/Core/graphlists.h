#ifndef GRAPHLISTS_H
#define GRAPHLISTS_H

#include <QList>

class Edge;
class Node;

// Lists of nodes and edges travel by value; slot signatures name them NodeList and EdgeList.
typedef QList<Node *> NodeList;
typedef QList<Edge *> EdgeList;

#endif
