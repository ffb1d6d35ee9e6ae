#ifndef TALVORI_LEGACYDATABASE_H
#define TALVORI_LEGACYDATABASE_H

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// A database as an older server version left it: the tables of that version (from its schema
// description in legacy/, created by today's initializer in the connection's dialect) holding one
// fixed sample written the way that version wrote it: resources (the search resource among them),
// a collection tree with a search collection, items with payload and attribute parts, flags in
// both spellings of the seen flag, collection attributes, allowed MIME types and search results.
// Version 19 is today's schema with the same sample, the reference an upgraded database must equal.
//
//     LegacyDatabase::Options options; options.items = 6;
//     QVERIFY2(LegacyDatabase::create(db, 8, options, &error), qPrintable(error));
class LegacyDatabase
{
public:
    struct Options
    {
        int items = 6;
        // Without it the locations lack the search root, as when the initializer's row was lost.
        bool searchRoot = true;
        // Rows per transaction while filling.
        int batch = 1000;
    };

    // The versions there is a sample for, oldest first.
    static QList<int> versions();
    // Creates the tables of version (on an empty database) and writes the sample.
    static bool create(const QSqlDatabase &db, int version, const Options &options, QString *error);

    // Every table's rows in id order (relations in key order), one line a row, values written the
    // same way whatever the backend returns. Reads the tables and columns of today's schema.
    static QStringList dump(const QSqlDatabase &db, QString *error);
    // Tables, columns (nullability and value type) and unique or named indexes, sorted, without
    // the names the database makes up (primary keys, sequences).
    static QStringList schema(const QSqlDatabase &db, QString *error);
};

#endif
