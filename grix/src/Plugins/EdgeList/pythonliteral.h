#ifndef PYTHONLITERAL_H
#define PYTHONLITERAL_H

#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>
#include <QVariant>

// The data dictionaries other tools write after an edge, such as {'weight': 3, 'color': "red"}:
// quoted keys, values that are quoted strings, integers, reals, True, False or None.
namespace PythonLiteral {

using Dict = QList<QPair<QString, QVariant>>;

// Reads a whole dictionary; false when text is anything else. None values come back invalid.
bool parseDict(QStringView text, Dict *dict);
// The dictionary as such a tool writes it (strings in single quotes, reals with a point).
QString formatDict(const Dict &dict);

}

#endif
