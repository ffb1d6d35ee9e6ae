#ifndef TALVORI_SORVANITYPES_H
#define TALVORI_SORVANITYPES_H

#include "search/sorvaniresult.h"

#include <QDBusArgument>
#include <QMap>
#include <QString>

// The bus forms of what the semantic query service sends and takes: results (sda{s(isss)}), their
// nodes ((isss): type, value, language, data type) and request-property maps (a{ss}). The proxies
// of the service include this header.
using RequestPropertyMapDBus = QMap<QString, QString>;

namespace SorvaniTypes {

// Registers the types above with the bus type system; safe to call again.
void registerTypes();

} // namespace SorvaniTypes

QDBusArgument &operator<<(QDBusArgument &argument, const Tresilo::Node &node);
const QDBusArgument &operator>>(const QDBusArgument &argument, Tresilo::Node &node);
QDBusArgument &operator<<(QDBusArgument &argument, const Sorvani::Search::Result &result);
const QDBusArgument &operator>>(const QDBusArgument &argument, Sorvani::Search::Result &result);

#endif
