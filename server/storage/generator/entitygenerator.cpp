// Writes the entity record classes (entities.h, entities.cpp) from the schema description.
// Usage: entitygenerator <schema.xml> <output directory>
//
// Every table element becomes one value class derived from Talvori::Entity, every relation element
// one static class. The output is rebuilt by the build whenever the schema changes; it is never
// edited by hand.

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

struct Column
{
    QString name;
    QString type;
    QString refTable;
    QString methodName;

    bool isForeignKey() const { return !refTable.isEmpty(); }
    QString capitalName() const { return name.left(1).toUpper() + name.mid(1); }
    bool isClassType() const { return type.startsWith(QLatin1Char('Q')); }
    QString argType() const { return isClassType() ? QStringLiteral("const %1 &").arg(type) : type + QLatin1Char(' '); }
};

struct Reference
{
    QString name;
    QString table;
    QString key;
};

struct Relation
{
    QString table1;
    QString column1;
    QString table2;
    QString column2;

    QString className() const { return table1 + table2 + QLatin1String("Relation"); }
    QString leftColumn() const { return table1 + QLatin1Char('_') + column1; }
    QString rightColumn() const { return table2 + QLatin1Char('_') + column2; }
};

struct Table
{
    QString name;
    QList<Column> columns; // without id
    bool hasId = false;
    QList<Reference> references;
    QList<Relation> relations; // relations in which this table is the left side

    QString tableName() const { return name + QLatin1String("Table"); }
    bool hasName() const
    {
        for (const Column &c : columns) {
            if (c.name == QLatin1String("name")) {
                return true;
            }
        }
        return false;
    }
};

// The value of an unset column: zero, false or the empty value.
QString initialValue(const Column &c)
{
    if (c.type == QLatin1String("bool")) {
        return QStringLiteral("false");
    }
    if (c.type == QLatin1String("int") || c.type == QLatin1String("qint64")) {
        return QStringLiteral("0");
    }
    return QString();
}

// C++ that reads column index i of query into a value of the column's type.
QString readValue(const Column &c, int i)
{
    const QString v = QStringLiteral("query.value(%1)").arg(i);
    if (c.type == QLatin1String("QString")) {
        return QStringLiteral("stringFromVariant(%1)").arg(v);
    }
    if (c.type == QLatin1String("qint64")) {
        return QStringLiteral("%1.toLongLong()").arg(v);
    }
    if (c.type == QLatin1String("int")) {
        return QStringLiteral("%1.toInt()").arg(v);
    }
    if (c.type == QLatin1String("bool")) {
        return QStringLiteral("%1.toBool()").arg(v);
    }
    if (c.type == QLatin1String("QByteArray")) {
        return QStringLiteral("%1.toByteArray()").arg(v);
    }
    if (c.type == QLatin1String("QDateTime")) {
        return QStringLiteral("%1.toDateTime()").arg(v);
    }
    return QString();
}

QList<Table> parseSchema(const QDomDocument &doc, QString *error)
{
    QList<Table> tables;
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QLatin1String("database")) {
        *error = QStringLiteral("the root element is not <database>");
        return {};
    }
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.tagName() == QLatin1String("table")) {
            Table table;
            table.name = e.attribute(QStringLiteral("name"));
            for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
                if (c.tagName() == QLatin1String("column")) {
                    Column column;
                    column.name = c.attribute(QStringLiteral("name"));
                    column.type = c.attribute(QStringLiteral("type"));
                    column.refTable = c.attribute(QStringLiteral("refTable"));
                    column.methodName = c.attribute(QStringLiteral("methodName"));
                    if (readValue(column, 0).isEmpty()) {
                        *error = QStringLiteral("unknown type %1 of column %2.%3").arg(column.type, table.name, column.name);
                        return {};
                    }
                    if (column.methodName.isEmpty() && column.isForeignKey()) {
                        column.methodName = column.refTable.left(1).toLower() + column.refTable.mid(1);
                    }
                    if (column.name == QLatin1String("id")) {
                        table.hasId = true;
                    } else {
                        table.columns.append(column);
                    }
                } else if (c.tagName() == QLatin1String("reference")) {
                    table.references.append({c.attribute(QStringLiteral("name")), c.attribute(QStringLiteral("table")),
                                             c.attribute(QStringLiteral("key"))});
                }
            }
            tables.append(table);
        } else if (e.tagName() == QLatin1String("relation")) {
            const Relation relation{e.attribute(QStringLiteral("table1")), e.attribute(QStringLiteral("column1")),
                                    e.attribute(QStringLiteral("table2")), e.attribute(QStringLiteral("column2"))};
            bool found = false;
            for (Table &table : tables) {
                if (table.name == relation.table1) {
                    table.relations.append(relation);
                    found = true;
                }
            }
            if (!found) {
                *error = QStringLiteral("relation %1 names an unknown table").arg(relation.className());
                return {};
            }
        }
    }
    return tables;
}

QString pluralOf(const QString &name)
{
    return name.left(1).toLower() + name.mid(1) + QLatin1Char('s');
}

QStringList allRelations(const QList<Table> &tables)
{
    QStringList names;
    for (const Table &t : tables) {
        for (const Relation &r : t.relations) {
            names.append(r.className());
        }
    }
    return names;
}

void writeHeader(QTextStream &out, const QList<Table> &tables)
{
    out << "// Generated from talvoridb.xml by entitygenerator. Do not edit.\n\n"
           "#ifndef TALVORI_ENTITIES_H\n#define TALVORI_ENTITIES_H\n\n"
           "#include \"storage/entity.h\"\n\n"
           "#include <QByteArray>\n#include <QDateTime>\n#include <QDebug>\n#include <QList>\n"
           "#include <QSharedDataPointer>\n#include <QString>\n#include <QStringList>\n#include <QVariant>\n\n"
           "class QSqlQuery;\n\nnamespace Talvori {\n\n";
    for (const Table &t : tables) {
        out << "class " << t.name << ";\n";
    }
    out << "\n";

    for (const Table &t : tables) {
        for (const Relation &r : t.relations) {
            out << "// The n:m relation between " << r.table1 << "Table." << r.column1 << " and " << r.table2
                << "Table." << r.column2 << ".\n"
                << "class " << r.className() << "\n{\npublic:\n"
                << "    static QString tableName();\n    static QString leftColumn();\n"
                << "    static QString leftFullColumnName();\n    static QString rightColumn();\n"
                << "    static QString rightFullColumnName();\n};\n\n";
        }
    }

    for (const Table &t : tables) {
        const QString &n = t.name;
        out << "// One row of " << t.tableName() << ". Column values live in a shared block that is copied when a\n"
            << "// setter changes it; every setter marks its column changed.\n";
        out << "class " << n << " : public Entity\n{\npublic:\n";
        out << "    using List = QList<" << n << ">;\n\n";
        out << "    " << n << "();\n";
        QStringList args;
        for (const Column &c : t.columns) {
            args << c.argType() + c.name;
        }
        out << "    " << (args.size() == 1 ? "explicit " : "") << n << "(" << args.join(QLatin1String(", ")) << ");\n";
        if (t.hasId) {
            out << "    " << n << "(qint64 id, " << args.join(QLatin1String(", ")) << ");\n";
        }
        out << "    " << n << "(const " << n << " &other);\n";
        out << "    " << n << " &operator=(const " << n << " &other);\n";
        out << "    ~" << n << "();\n\n";
        out << "    // Records are the same row when their ids are equal.\n";
        out << "    bool operator==(const " << n << " &other) const;\n\n";

        for (const Column &c : t.columns) {
            out << "    " << c.type << " " << c.name << "() const;\n";
            out << "    void set" << c.capitalName() << "(" << c.argType() << c.name << ");\n";
        }
        out << "\n    static QString tableName();\n";
        if (t.hasId) {
            out << "    static QString idColumn();\n";
        }
        for (const Column &c : t.columns) {
            out << "    static QString " << c.name << "Column();\n";
        }
        if (t.hasId) {
            out << "    static QString idFullColumnName();\n";
        }
        for (const Column &c : t.columns) {
            out << "    static QString " << c.name << "FullColumnName();\n";
        }
        out << "    // Column names without id, in column order.\n    static QStringList columnNames();\n";
        out << "    // Full column names, id first.\n    static QStringList fullColumnNames();\n\n";

        if (t.hasId) {
            out << "    // An invalid record (id -1) when there is no such row.\n";
            out << "    static " << n << " retrieveById(qint64 id);\n";
            if (t.hasName()) {
                out << "    static " << n << " retrieveByName(const QString &name);\n";
            }
        }
        out << "    static QList<" << n << "> retrieveAll();\n";
        out << "    // Rows whose column equals value, or whose column is NULL for a null value.\n";
        out << "    static QList<" << n << "> retrieveFiltered(const QString &column, const QVariant &value);\n";
        out << "    // Every remaining row of an executed query that selected fullColumnNames().\n";
        out << "    static QList<" << n << "> extractResult(QSqlQuery &query);\n";
        out << "    // -1 on error.\n    static int count(const QString &column, const QVariant &value);\n";
        if (t.hasId) {
            out << "    static bool exists(qint64 id);\n";
            if (t.hasName()) {
                out << "    static bool exists(const QString &name);\n";
            }
        }
        out << "\n    // Writes the changed columns; a foreign key that is not above 0 stays NULL. Sets the id.\n";
        out << "    bool insert(qint64 *insertId = nullptr);\n";
        out << "    bool update();\n";
        if (t.hasId) {
            out << "    bool remove();\n    static bool remove(qint64 id);\n";
        }
        out << "    static bool remove(const QString &column, const QVariant &value);\n\n";
        out << "    // The process-wide cache, off until enableCache(true); guarded by its own mutex.\n";
        out << "    void invalidateCache() const;\n    static void invalidateCompleteCache();\n";
        out << "    static void enableCache(bool enable);\n\n";
        out << "    bool hasPendingChanges() const;\n";

        QStringList refs;
        for (const Column &c : t.columns) {
            if (c.isForeignKey()) {
                refs << QStringLiteral("    %1 %2() const;\n").arg(c.refTable, c.methodName);
            }
        }
        for (const Reference &r : t.references) {
            refs << QStringLiteral("    QList<%1> %2() const;\n").arg(r.table, r.name);
        }
        for (const Relation &r : t.relations) {
            const QString o = r.table2;
            const QString a = o.left(1).toLower() + o.mid(1);
            refs << QStringLiteral("    bool add%1(const %1 &%2) const;\n    static bool add%1(qint64 leftId, qint64 rightId);\n"
                                   "    bool remove%1(const %1 &%2) const;\n    static bool remove%1(qint64 leftId, qint64 rightId);\n"
                                   "    bool clear%1s() const;\n    static bool clear%1s(qint64 id);\n"
                                   "    QList<%1> %3() const;\n"
                                   "    bool relatesTo%1(const %1 &%2) const;\n    static bool relatesTo%1(qint64 leftId, qint64 rightId);\n")
                        .arg(o, a, pluralOf(o));
        }
        if (!refs.isEmpty()) {
            out << "\n" << refs.join(QString());
        }
        out << "\nprivate:\n    static " << n << " fromQuery(const QSqlQuery &query);\n"
            << "    static QStringList columnNamesWithId();\n\n"
            << "    class Private;\n    QSharedDataPointer<Private> d;\n};\n\n";
        out << "QDebug operator<<(QDebug debug, const " << n << " &record);\n\n";
    }
    out << "} // namespace Talvori\n\n";
    for (const Table &t : tables) {
        out << "Q_DECLARE_TYPEINFO(Talvori::" << t.name << ", Q_RELOCATABLE_TYPE);\n";
    }
    out << "\n#endif\n";
}

@@SOURCE@@
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: entitygenerator <schema.xml> <output directory>\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "entitygenerator: cannot open %s\n", argv[1]);
        return 1;
    }
    QDomDocument doc;
    QString message;
    int line = 0;
    int column = 0;
    if (!doc.setContent(&file, &message, &line, &column)) {
        std::fprintf(stderr, "entitygenerator: %s:%d:%d: %s\n", argv[1], line, column, qPrintable(message));
        return 1;
    }
    QString error;
    const QList<Table> tables = parseSchema(doc, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "entitygenerator: %s: %s\n", argv[1], qPrintable(error));
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (const char *name : {"entities.h", "entities.cpp"}) {
        QSaveFile out(outDir + QLatin1Char('/') + QLatin1String(name));
        if (!out.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "entitygenerator: cannot write %s\n", qPrintable(out.fileName()));
            return 1;
        }
        QTextStream stream(&out);
        if (QByteArray(name).endsWith(".h")) {
            writeHeader(stream, tables);
        } else {
            writeSource(stream, tables);
        }
        stream.flush();
        if (!out.commit()) {
            std::fprintf(stderr, "entitygenerator: cannot write %s\n", qPrintable(out.fileName()));
            return 1;
        }
    }
    return 0;
}
