#ifndef TALVORI_SQLINSPECTION_H
#define TALVORI_SQLINSPECTION_H

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>

// Reads what the server stored straight from its database (TestServer::addDatabaseConnection),
// for tests that check rows rather than answers. A statement that fails gives an empty result and
// a warning naming it; so does one that selects nothing where a row is asked for.
namespace SqlInspection {

// The first column of the first row; invalid when there is none.
QVariant value(const QSqlDatabase &db, const QString &sql);
// The columns of the first row, as text.
QStringList row(const QSqlDatabase &db, const QString &sql);
// Every row, its columns as text joined by blanks.
QStringList rows(const QSqlDatabase &db, const QString &sql);

} // namespace SqlInspection

#endif
