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
        return QStringLiteral("dateTimeFromVariant(%1)").arg(v);
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
            << "    static QStringList columnNamesWithId();\n"
            << "    static bool removeRows(const QString &column, const QVariant &value);\n\n"
            << "    class Private;\n    QSharedDataPointer<Private> d;\n};\n\n";
        out << "QDebug operator<<(QDebug debug, const " << n << " &record);\n\n";
    }
    out << "} // namespace Talvori\n\n";
    for (const Table &t : tables) {
        out << "Q_DECLARE_TYPEINFO(Talvori::" << t.name << ", Q_RELOCATABLE_TYPE);\n";
    }
    out << "\n#endif\n";
}


// Replaces each @KEY@ of the template by its value.
QString fill(QString text, const QList<QPair<QString, QString>> &values)
{
    for (const auto &value : values) {
        text.replace(QLatin1Char('@') + value.first + QLatin1Char('@'), value.second);
    }
    return text;
}

const char *const retrieveByKeyTemplate = R"(@C@ @C@::retrieveBy@Key@(@KeyArg@key)
{
    if (!databaseIsOpen()) {
        return @C@();
    }
    if (s_@C@Cache.enabled) {
        QMutexLocker lock(&s_@C@Cache.mutex);
        const auto it = s_@C@Cache.@cache@.constFind(key);
        if (it != s_@C@Cache.@cache@.constEnd()) {
            return *it;
        }
    }
    CachedQuery statement(QLatin1String("SELECT ") + columnNamesWithId().join(QLatin1String(", "))
                          + QLatin1String(" FROM ") + tableName() + QLatin1String(" WHERE @column@ = :key"));
    QSqlQuery &query = statement.query();
    query.bindValue(QStringLiteral(":key"), bindableValue(key));
    if (!statement.exec()) {
        logDebug().noquote() << "Error during selection of record with @column@" << key << "from table" << tableName()
                             << query.lastError().text();
        return @C@();
    }
    if (!query.next()) {
        return @C@();
    }
    const @C@ record = fromQuery(query);
    if (s_@C@Cache.enabled) {
        QMutexLocker lock(&s_@C@Cache.mutex);
        s_@C@Cache.idCache.insert(record.id(), record);
@nameCacheInsert@    }
    return record;
}

)";

const char *const commonTemplate = R"(QList<@C@> @C@::retrieveAll()
{
    if (!databaseIsOpen()) {
        return {};
    }
    QSqlQuery query(database());
    if (!query.exec(QLatin1String("SELECT ") + columnNamesWithId().join(QLatin1String(", ")) + QLatin1String(" FROM ")
                    + tableName())) {
        logDebug().noquote() << "Error during selection of all records from table" << tableName()
                             << query.lastError().text();
        return {};
    }
    return extractResult(query);
}

QList<@C@> @C@::retrieveFiltered(const QString &column, const QVariant &value)
{
    if (!databaseIsOpen()) {
        return {};
    }
    SelectQueryBuilder<@C@> qb;
    if (value.isNull()) {
        qb.addValueCondition(column, Query::Is, QVariant());
    } else {
        qb.addValueCondition(column, Query::Equals, value);
    }
    if (!qb.exec()) {
        logDebug().noquote() << "Error during selection of records from table" << tableName() << "filtered by"
                             << column << "=" << value.toString() << qb.query().lastError().text();
        return {};
    }
    return qb.result();
}

QList<@C@> @C@::extractResult(QSqlQuery &query)
{
    QList<@C@> result;
    while (query.next()) {
        result.append(fromQuery(query));
    }
    return result;
}

int @C@::count(const QString &column, const QVariant &value)
{
    if (!databaseIsOpen()) {
        return -1;
    }
    CountQueryBuilder qb(tableName());
    qb.addValueCondition(column, Query::Equals, value);
    if (!qb.exec()) {
        logDebug().noquote() << "Error during counting records in table" << tableName() << qb.query().lastError().text();
        return -1;
    }
    return qb.result();
}

bool @C@::insert(qint64 *insertId)
{
    if (!databaseIsOpen()) {
        return false;
    }
    QueryBuilder qb(tableName(), QueryBuilder::InsertStatement);
@insertColumns@    if (!qb.exec()) {
        logDebug().noquote() << "Error during insertion into table" << tableName() << qb.query().lastError().text();
        return false;
    }
@insertId@    return true;
}

bool @C@::update()
{
    invalidateCache();
    if (!databaseIsOpen()) {
        return false;
    }
    QStringList assignments;
@updateColumns@    CachedQuery statement(QLatin1String("UPDATE ") + tableName() + QLatin1String(" SET ")
                          + assignments.join(QLatin1String(", "))@updateWhere@);
    QSqlQuery &query = statement.query();
@updateBinds@    if (!statement.exec()) {
        logDebug().noquote() << "Error during updating record with id" << id() << " in table" << tableName()
                             << query.lastError().text();
        return false;
    }
    return true;
}

bool @C@::remove(const QString &column, const QVariant &value)
{
    invalidateCompleteCache();
    return removeRows(column, value);
}

bool @C@::removeRows(const QString &column, const QVariant &value)
{
    if (!databaseIsOpen()) {
        return false;
    }
    QueryBuilder qb(tableName(), QueryBuilder::DeleteStatement);
    qb.addValueCondition(column, Query::Equals, value);
    if (!qb.exec()) {
        logDebug().noquote() << "Error during deleting records from table" << tableName() << qb.query().lastError().text();
        return false;
    }
    return true;
}

void @C@::invalidateCache() const
{
    if (!s_@C@Cache.enabled) {
        return;
    }
    QMutexLocker lock(&s_@C@Cache.mutex);
    s_@C@Cache.idCache.remove(id());
@nameCacheRemove@}

void @C@::invalidateCompleteCache()
{
    if (!s_@C@Cache.enabled) {
        return;
    }
    QMutexLocker lock(&s_@C@Cache.mutex);
    s_@C@Cache.idCache.clear();
@nameCacheClear@}

void @C@::enableCache(bool enable)
{
    s_@C@Cache.enabled = enable;
}

bool @C@::hasPendingChanges() const
{
    return @pending@;
}

QDebug operator<<(QDebug debug, const @C@ &record)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "[@C@: id = " << record.id()@debugColumns@ << "]";
    return debug;
}

)";

const char *const idTemplate = R"(bool @C@::exists(qint64 id)
{
    if (s_@C@Cache.enabled) {
        QMutexLocker lock(&s_@C@Cache.mutex);
        if (s_@C@Cache.idCache.contains(id)) {
            return true;
        }
    }
    return count(idColumn(), id) > 0;
}

bool @C@::remove()
{
    invalidateCache();
    return removeRows(idColumn(), id());
}

bool @C@::remove(qint64 id)
{
    return remove(idColumn(), id);
}

)";

const char *const nameTemplate = R"(bool @C@::exists(const QString &name)
{
    if (s_@C@Cache.enabled) {
        QMutexLocker lock(&s_@C@Cache.mutex);
        if (s_@C@Cache.nameCache.contains(name)) {
            return true;
        }
    }
    return count(nameColumn(), name) > 0;
}

)";

const char *const relationTemplate = R"(bool @C@::add@O@(const @O@ &other) const
{
    return add@O@(id(), other.id());
}

bool @C@::add@O@(qint64 leftId, qint64 rightId)
{
    return addToRelation<@R@>(leftId, rightId);
}

bool @C@::remove@O@(const @O@ &other) const
{
    return remove@O@(id(), other.id());
}

bool @C@::remove@O@(qint64 leftId, qint64 rightId)
{
    return removeFromRelation<@R@>(leftId, rightId);
}

bool @C@::clear@O@s() const
{
    return clear@O@s(id());
}

bool @C@::clear@O@s(qint64 id)
{
    return clearRelation<@R@>(id, Left);
}

bool @C@::relatesTo@O@(const @O@ &other) const
{
    return relatesTo@O@(id(), other.id());
}

bool @C@::relatesTo@O@(qint64 leftId, qint64 rightId)
{
    return relatesTo<@R@>(leftId, rightId);
}

QList<@O@> @C@::@plural@() const
{
    if (!databaseIsOpen()) {
        return {};
    }
    CachedQuery statement(QLatin1String("SELECT ") + @O@::fullColumnNames().join(QLatin1String(", "))
                          + QLatin1String(" FROM ") + @O@::tableName() + QLatin1String(", ") + @R@::tableName()
                          + QLatin1String(" WHERE ") + @R@::leftFullColumnName() + QLatin1String(" = :key AND ")
                          + @R@::rightFullColumnName() + QLatin1String(" = ") + @O@::idFullColumnName());
    QSqlQuery &query = statement.query();
    query.bindValue(QStringLiteral(":key"), id());
    if (!statement.exec()) {
        logDebug().noquote() << "Error during selection of records from table" << @R@::tableName()
                             << query.lastError().text();
        return {};
    }
    return @O@::extractResult(query);
}

)";

QString readExpression(const Column &c, int i)
{
    return readValue(c, i);
}

void writeSource(QTextStream &out, const QList<Table> &tables)
{
    out << "// Generated from talvoridb.xml by entitygenerator. Do not edit.\n\n"
           "#include \"storage/entities.h\"\n\n"
           "#include \"common/log.h\"\n#include \"storage/cachedquery.h\"\n#include \"storage/countquerybuilder.h\"\n"
           "#include \"storage/querybuilder.h\"\n#include \"storage/selectquerybuilder.h\"\n\n"
           "#include <QHash>\n#include <QMutex>\n#include <QMutexLocker>\n#include <QSqlError>\n#include <QSqlQuery>\n\n"
           "#include <atomic>\n\nnamespace Talvori {\n\n";

    for (const Table &t : tables) {
        for (const Relation &r : t.relations) {
            const QList<QPair<QString, QString>> v{{QStringLiteral("R"), r.className()},
                                                   {QStringLiteral("L"), r.leftColumn()},
                                                   {QStringLiteral("Rc"), r.rightColumn()}};
            out << fill(QStringLiteral(R"(QString @R@::tableName()
{
    return QStringLiteral("@R@");
}

QString @R@::leftColumn()
{
    return QStringLiteral("@L@");
}

QString @R@::leftFullColumnName()
{
    return QStringLiteral("@R@.@L@");
}

QString @R@::rightColumn()
{
    return QStringLiteral("@Rc@");
}

QString @R@::rightFullColumnName()
{
    return QStringLiteral("@R@.@Rc@");
}

)"), v);
        }
    }

    for (const Table &t : tables) {
        const QString &n = t.name;
        const QString tn = t.tableName();
        QList<Column> all = t.columns;
        if (t.hasId) {
            all.prepend(Column{QStringLiteral("id"), QStringLiteral("qint64"), QString(), QString()});
        }

        out << "// " << n << "\n\n";
        out << "class " << n << "::Private : public QSharedData\n{\npublic:\n";
        for (const Column &c : t.columns) {
            const QString init = initialValue(c);
            out << "    " << c.type << " " << c.name << (init.isEmpty() ? QString() : QStringLiteral(" = ") + init) << ";\n";
        }
        for (const Column &c : t.columns) {
            out << "    bool " << c.name << "Changed = false;\n";
        }
        out << "};\n\n";

        out << "namespace {\n// Shared by every thread; the mutex is never held while the database is used.\n"
            << "struct " << n << "Cache\n{\n    std::atomic<bool> enabled = false;\n"
            << "    QMutex mutex; // guards the hashes below\n    QHash<qint64, " << n << "> idCache;\n";
        if (t.hasName()) {
            out << "    QHash<QString, " << n << "> nameCache;\n";
        }
        out << "};\n" << n << "Cache s_" << n << "Cache;\n} // namespace\n\n";

        // Constructors and value members.
        QStringList args;
        QString assign;
        for (const Column &c : t.columns) {
            args << c.argType() + c.name;
            assign += QStringLiteral("    d->%1 = %1;\n    d->%1Changed = true;\n").arg(c.name);
        }
        out << n << "::" << n << "()\n    : d(new Private)\n{\n}\n\n";
        out << n << "::" << n << "(" << args.join(QLatin1String(", ")) << ")\n    : d(new Private)\n{\n" << assign << "}\n\n";
        if (t.hasId) {
            out << n << "::" << n << "(qint64 id, " << args.join(QLatin1String(", "))
                << ")\n    : Entity(id)\n    , d(new Private)\n{\n" << assign << "}\n\n";
        }
        out << n << "::" << n << "(const " << n << " &other) = default;\n\n";
        out << n << " &" << n << "::operator=(const " << n << " &other) = default;\n\n";
        out << n << "::~" << n << "() = default;\n\n";
        out << "bool " << n << "::operator==(const " << n << " &other) const\n{\n    return id() == other.id();\n}\n\n";
        for (const Column &c : t.columns) {
            out << c.type << " " << n << "::" << c.name << "() const\n{\n    return d->" << c.name << ";\n}\n\n";
            out << "void " << n << "::set" << c.capitalName() << "(" << c.argType() << c.name << ")\n{\n    d->"
                << c.name << " = " << c.name << ";\n    d->" << c.name << "Changed = true;\n}\n\n";
        }

        // Names.
        out << "QString " << n << "::tableName()\n{\n    return QStringLiteral(\"" << tn << "\");\n}\n\n";
        for (const Column &c : all) {
            out << "QString " << n << "::" << c.name << "Column()\n{\n    return QStringLiteral(\"" << c.name << "\");\n}\n\n";
            out << "QString " << n << "::" << c.name << "FullColumnName()\n{\n    return QStringLiteral(\"" << tn << "." << c.name
                << "\");\n}\n\n";
        }
        QStringList plain;
        QStringList withId;
        QStringList full;
        for (const Column &c : all) {
            withId << QStringLiteral("QStringLiteral(\"%1\")").arg(c.name);
            full << QStringLiteral("QStringLiteral(\"%1.%2\")").arg(tn, c.name);
            if (c.name != QLatin1String("id")) {
                plain << QStringLiteral("QStringLiteral(\"%1\")").arg(c.name);
            }
        }
        out << "QStringList " << n << "::columnNames()\n{\n    return QStringList{" << plain.join(QLatin1String(", ")) << "};\n}\n\n";
        out << "QStringList " << n << "::columnNamesWithId()\n{\n    return QStringList{" << withId.join(QLatin1String(", ")) << "};\n}\n\n";
        out << "QStringList " << n << "::fullColumnNames()\n{\n    return QStringList{" << full.join(QLatin1String(", ")) << "};\n}\n\n";

        // A record from one row of columnNamesWithId() or fullColumnNames().
        QStringList ctorArgs;
        for (int i = 0; i < all.size(); ++i) {
            ctorArgs << readExpression(all.at(i), i);
        }
        out << n << " " << n << "::fromQuery(const QSqlQuery &query)\n{\n    return " << n << "("
            << ctorArgs.join(QLatin1String(",\n        ")) << ");\n}\n\n";

        if (t.hasId) {
            const QString nameInsert = t.hasName()
                ? fill(QStringLiteral("        s_@C@Cache.nameCache.insert(record.name(), record);\n"), {{QStringLiteral("C"), n}})
                : QString();
            out << fill(QString::fromUtf8(retrieveByKeyTemplate),
                        {{QStringLiteral("C"), n}, {QStringLiteral("Key"), QStringLiteral("Id")},
                         {QStringLiteral("KeyArg"), QStringLiteral("qint64 ")}, {QStringLiteral("cache"), QStringLiteral("idCache")},
                         {QStringLiteral("column"), QStringLiteral("id")}, {QStringLiteral("nameCacheInsert"), nameInsert}});
            if (t.hasName()) {
                out << fill(QString::fromUtf8(retrieveByKeyTemplate),
                            {{QStringLiteral("C"), n}, {QStringLiteral("Key"), QStringLiteral("Name")},
                             {QStringLiteral("KeyArg"), QStringLiteral("const QString &")},
                             {QStringLiteral("cache"), QStringLiteral("nameCache")}, {QStringLiteral("column"), QStringLiteral("name")},
                             {QStringLiteral("nameCacheInsert"), nameInsert}});
            }
            out << fill(QString::fromUtf8(idTemplate), {{QStringLiteral("C"), n}});
            if (t.hasName()) {
                out << fill(QString::fromUtf8(nameTemplate), {{QStringLiteral("C"), n}});
            }
        }

        QString insertColumns;
        QString updateColumns;
        QString updateBinds;
        QStringList pending;
        QString debugColumns;
        for (const Column &c : t.columns) {
            const QString cond = c.isForeignKey() ? QStringLiteral("d->%1Changed && d->%1 > 0").arg(c.name)
                                                  : QStringLiteral("d->%1Changed").arg(c.name);
            insertColumns += QStringLiteral("    if (%1) {\n        qb.setColumnValue(%2Column(), d->%2);\n    }\n").arg(cond, c.name);
            updateColumns += QStringLiteral("    if (d->%1Changed) {\n        assignments.append(%1Column() + QLatin1String(\" = :%1\"));\n    }\n")
                                 .arg(c.name);
            const QString bound = c.isForeignKey()
                ? QStringLiteral("d->%1 > 0 ? QVariant(d->%1) : QVariant(QMetaType::fromType<qint64>())").arg(c.name)
                : QStringLiteral("bindableValue(d->%1)").arg(c.name);
            updateBinds += QStringLiteral("    if (d->%1Changed) {\n        query.bindValue(QStringLiteral(\":%1\"), %2);\n    }\n")
                               .arg(c.name, bound);
            pending << QStringLiteral("d->%1Changed").arg(c.name);
            debugColumns += QStringLiteral(" << \", %1 = \" << record.%1()").arg(c.name);
        }
        if (t.hasId) {
            updateBinds += QStringLiteral("    query.bindValue(QStringLiteral(\":id\"), id());\n");
        }
        const QString insertId = t.hasId
            ? QStringLiteral("    setId(qb.insertId());\n    if (insertId) {\n        *insertId = id();\n    }\n")
            : QStringLiteral("    if (insertId) {\n        *insertId = qb.insertId();\n    }\n");
        const QString nameRemove = t.hasName()
            ? fill(QStringLiteral("    s_@C@Cache.nameCache.remove(name());\n"), {{QStringLiteral("C"), n}})
            : QString();
        const QString nameClear = t.hasName()
            ? fill(QStringLiteral("    s_@C@Cache.nameCache.clear();\n"), {{QStringLiteral("C"), n}})
            : QString();
        out << fill(QString::fromUtf8(commonTemplate),
                    {{QStringLiteral("C"), n},
                     {QStringLiteral("insertColumns"), insertColumns},
                     {QStringLiteral("insertId"), insertId},
                     {QStringLiteral("updateColumns"), updateColumns},
                     {QStringLiteral("updateWhere"), t.hasId ? QStringLiteral(" + QLatin1String(\" WHERE id = :id\")") : QString()},
                     {QStringLiteral("updateBinds"), updateBinds},
                     {QStringLiteral("nameCacheRemove"), nameRemove},
                     {QStringLiteral("nameCacheClear"), nameClear},
                     {QStringLiteral("pending"), pending.join(QLatin1String(" || "))},
                     {QStringLiteral("debugColumns"), debugColumns}});

        // Accessors of referred and referring records.
        for (const Column &c : t.columns) {
            if (c.isForeignKey()) {
                out << c.refTable << " " << n << "::" << c.methodName << "() const\n{\n    return " << c.refTable
                    << "::retrieveById(" << c.name << "());\n}\n\n";
            }
        }
        for (const Reference &r : t.references) {
            out << "QList<" << r.table << "> " << n << "::" << r.name << "() const\n{\n    return " << r.table
                << "::retrieveFiltered(" << r.table << "::" << r.key << "Column(), id());\n}\n\n";
        }
        for (const Relation &r : t.relations) {
            out << fill(QString::fromUtf8(relationTemplate),
                        {{QStringLiteral("C"), n}, {QStringLiteral("O"), r.table2}, {QStringLiteral("R"), r.className()},
                         {QStringLiteral("plural"), pluralOf(r.table2)}});
        }
    }
    out << "} // namespace Talvori\n";
}
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
