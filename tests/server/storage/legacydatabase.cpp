#include "legacydatabase.h"

#include "storage/dbinitializer.h"

#include <QDateTime>
#include <QDomDocument>
#include <QFile>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace {

// Collections were locations before version 10, roots had parent 0 before 13, part names got
// their "PLD:"/"ATR:" prefix in 8, resources were marked virtual from 14 and search collections
// kept their query in queryString from 15; the seen flag had a second spelling until 19.
bool hasLocations(int version)
{
    return version < 10;
}

QString schemaFile(int version)
{
    if (version >= 19)
        return QStringLiteral(":talvoridb.xml");
    const int schema = version < 10 ? 8 : version < 13 ? 12 : 16;
    return QStringLiteral(TALVORI_LEGACY_SCHEMA_DIR "/talvoridb-%1.xml").arg(schema);
}

// Writes rows with bound values, the way the record classes do on each backend.
class Writer
{
public:
    Writer(const QSqlDatabase &db, int version, QString *error)
        : m_db(db)
        , m_version(version)
        , m_error(error)
        , m_binaryText(db.driverName() == QLatin1String("QPSQL"))
    {
    }

    QString collections() const { return hasLocations(m_version) ? QStringLiteral("LocationTable") : QStringLiteral("CollectionTable"); }
    QString collectionPrefix() const { return hasLocations(m_version) ? QStringLiteral("Location") : QStringLiteral("Collection"); }
    QString partName(const char *name, bool payload) const
    {
        if (m_version < 8)
            return QLatin1String(name);
        return (payload ? QLatin1String("PLD:") : QLatin1String("ATR:")) + QLatin1String(name);
    }
    QVariant rootParent() const { return m_version < 13 ? QVariant(qint64(0)) : QVariant(QMetaType::fromType<qint64>()); }
    int version() const { return m_version; }

    // Text columns are binary on PostgreSQL and take UTF-8 bytes there.
    QVariant text(const QString &value) const
    {
        if (value.isNull())
            return m_binaryText ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(QMetaType::fromType<QString>());
        return m_binaryText ? QVariant(value.toUtf8()) : QVariant(value);
    }

    bool insert(const QString &table, const QStringList &columns, const QVariantList &values)
    {
        QSqlQuery &query = prepared(table, columns);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (query.exec())
            return true;
        *m_error = QStringLiteral("%1: %2").arg(query.lastQuery(), query.lastError().text());
        return false;
    }

    bool execute(const QString &statement)
    {
        QSqlQuery query(m_db);
        if (query.exec(statement))
            return true;
        *m_error = QStringLiteral("%1: %2").arg(statement, query.lastError().text());
        return false;
    }

private:
    QSqlQuery &prepared(const QString &table, const QStringList &columns)
    {
        const QString key = table + QLatin1Char(':') + columns.join(QLatin1Char(','));
        auto it = m_statements.find(key);
        if (it == m_statements.end()) {
            QStringList marks;
            for (int i = 0; i < columns.size(); ++i)
                marks.append(QStringLiteral("?"));
            QSqlQuery query(m_db);
            query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                              .arg(table, columns.join(QLatin1String(", ")), marks.join(QLatin1String(", "))));
            it = m_statements.insert(key, query);
        }
        return it.value();
    }

    QSqlDatabase m_db;
    int m_version;
    QString *m_error;
    bool m_binaryText;
    QHash<QString, QSqlQuery> m_statements;
};

enum Ids { SearchResource = 1, MailResource = 2, TagResource = 3 };
enum Collections { SearchRoot = 1, Inbox = 2, Subfolder = 3, SearchFolder = 4 };
enum MimeTypes { Rfc822 = 2, Directory = 5 };
enum Flags { Important = 1, Seen = 7, OldSeen = 9 };

bool writeResources(Writer &w)
{
    const bool marked = w.version() >= 14;
    const QStringList columns = marked ? QStringList{QStringLiteral("name"), QStringLiteral("isVirtual")}
                                       : QStringList{QStringLiteral("name")};
    QVariantList mail{w.text(QStringLiteral("talvori_resource_0"))};
    QVariantList tags{w.text(QStringLiteral("talvori_sorvanitag_resource"))};
    if (marked) {
        mail.append(false);
        tags.append(true);
    }
    return w.insert(QStringLiteral("ResourceTable"), columns, mail) && w.insert(QStringLiteral("ResourceTable"), columns, tags);
}

bool writeCollections(Writer &w, bool searchRoot)
{
    const QString table = w.collections();
    if (!searchRoot && !w.execute(QStringLiteral("DELETE FROM %1").arg(table)))
        return false;
    const QStringList columns = {QStringLiteral("remoteId"),
                                 QStringLiteral("remoteRevision"),
                                 QStringLiteral("name"),
                                 QStringLiteral("parentId"),
                                 QStringLiteral("resourceId"),
                                 QStringLiteral("subscribed"),
                                 QStringLiteral("cachePolicyInherit"),
                                 QStringLiteral("cachePolicyCheckInterval"),
                                 QStringLiteral("cachePolicyCacheTimeout"),
                                 QStringLiteral("cachePolicySyncOnDemand"),
                                 QStringLiteral("cachePolicyLocalParts")};
    const bool inserted = w.insert(table, columns,
                                   {w.text(QStringLiteral("INBOX")), w.text(QStringLiteral("42")),
                                    w.text(QStringLiteral("inbox")), w.rootParent(), qint64(MailResource), true, false,
                                    5, 60, true, w.text(QStringLiteral("PLD:HEAD ATR:HIDDEN"))})
        && w.insert(table, columns,
                    {w.text(QStringLiteral("INBOX/sub")), w.text(QString()),
                     w.text(QString::fromUtf8("Ünterordner €")), qint64(Inbox), qint64(MailResource), false, true, -1,
                     -1, false, w.text(QString())});
    if (!inserted || !searchRoot)
        return inserted;

    const QString query = QStringLiteral("SELECT ?r WHERE { ?r nao:hasTag \"unread\" }");
    QStringList searchColumns = {QStringLiteral("remoteId"), QStringLiteral("name"), QStringLiteral("parentId"),
                                 QStringLiteral("resourceId")};
    QVariantList values = {w.text(query), w.text(QStringLiteral("unread")), qint64(SearchRoot), qint64(SearchResource)};
    if (w.version() >= 15) {
        searchColumns << QStringLiteral("queryString") << QStringLiteral("queryLanguage");
        values << w.text(query) << w.text(QStringLiteral("SPARQL"));
    }
    return w.insert(table, searchColumns, values);
}

bool writeCollectionData(Writer &w)
{
    const QString prefix = w.collectionPrefix();
    const QString attributes = prefix + QLatin1String("AttributeTable");
    const QStringList attributeColumns = {hasLocations(w.version()) ? QStringLiteral("locationId")
                                                                     : QStringLiteral("collectionId"),
                                          QStringLiteral("type"), QStringLiteral("value")};
    const QString mimeTypes = prefix + QLatin1String("MimeTypeRelation");
    const QStringList mimeTypeColumns = {prefix + QLatin1String("_id"), QStringLiteral("MimeType_id")};
    bool ok = w.insert(attributes, attributeColumns,
                       {qint64(Inbox), QByteArray("ENTITYDISPLAY"), QByteArray("(\"Posteingang\" \"mail-folder-inbox\")")})
        && w.insert(attributes, attributeColumns, {qint64(Subfolder), QByteArray("AccessRights"), QByteArray("\0\1wcd", 5)})
        && w.insert(mimeTypes, mimeTypeColumns, {qint64(Inbox), qint64(Rfc822)})
        && w.insert(mimeTypes, mimeTypeColumns, {qint64(Inbox), qint64(Directory)})
        && w.insert(mimeTypes, mimeTypeColumns, {qint64(Subfolder), qint64(Rfc822)});
    return ok;
}

// The search folder's results: the first two items.
bool writeSearchResults(Writer &w, int items)
{
    const QString prefix = w.collectionPrefix();
    const QString results = prefix + QLatin1String("PimItemRelation");
    const QStringList columns = {prefix + QLatin1String("_id"), QStringLiteral("PimItem_id")};
    for (int item = 1; item <= qMin(2, items); ++item) {
        if (!w.insert(results, columns, {qint64(SearchFolder), qint64(item)}))
            return false;
    }
    return true;
}

QByteArray payload(int item)
{
    QByteArray data = "From: someone@example.org\r\nSubject: message " + QByteArray::number(item) + "\r\n\r\nBody\r\n";
    if (item == 1) {
        for (int i = 0; i < 256; ++i)
            data.append(char(i));
    }
    return data;
}

// Item i: its collection, parts and flags follow from i, so every version writes the same sample.
bool writeItem(Writer &w, int item)
{
    const QDateTime created(QDate(2009, 3, 1), QTime(12, 0), Qt::UTC);
    const QStringList itemColumns = {QStringLiteral("rev"),        QStringLiteral("remoteId"),
                                     QStringLiteral("remoteRevision"),
                                     hasLocations(w.version()) ? QStringLiteral("locationId") : QStringLiteral("collectionId"),
                                     QStringLiteral("mimeTypeId"), QStringLiteral("datetime"),
                                     QStringLiteral("atime"),      QStringLiteral("dirty")};
    const QVariantList itemValues = {item % 7,
                                     w.text(QStringLiteral("rid-%1").arg(item)),
                                     w.text(item % 3 == 0 ? QStringLiteral("rev-%1").arg(item) : QString()),
                                     qint64(item % 2 ? Inbox : Subfolder),
                                     qint64(Rfc822),
                                     created.addSecs(item * 60),
                                     item % 2 ? QVariant(created.addSecs(item * 60 + 3600)) : QVariant(QMetaType::fromType<QDateTime>()),
                                     item % 5 == 0};
    if (!w.insert(QStringLiteral("PimItemTable"), itemColumns, itemValues))
        return false;

    const QStringList partColumns = {QStringLiteral("pimItemId"), QStringLiteral("name"), QStringLiteral("data"),
                                     QStringLiteral("datasize")};
    QList<std::pair<QString, QByteArray>> parts = {
        {w.partName("RFC822", true), payload(item)},
        {w.partName("HEAD", true), "Subject: message " + QByteArray::number(item)},
    };
    if (item == 1)
        parts.append({w.partName("ENVELOPE", true), "(\"Sun, 1 Mar 2009\" \"message 1\")"});
    if (item % 4 == 0)
        parts.append({w.partName("HIDDEN", false), QByteArray("")});
    for (const auto &[name, data] : std::as_const(parts)) {
        if (!w.insert(QStringLiteral("PartTable"), partColumns, {qint64(item), w.text(name), data, data.size()}))
            return false;
    }

    // One in three has the old spelling of the seen flag, one in three both spellings.
    QList<qint64> flags = {item % 3 == 2 && w.version() < 19 ? qint64(OldSeen) : qint64(Seen)};
    if (item % 3 == 0) {
        if (w.version() < 19)
            flags.append(OldSeen);
        flags.append(Important);
    }
    for (qint64 flag : std::as_const(flags)) {
        if (!w.insert(QStringLiteral("PimItemFlagRelation"), {QStringLiteral("PimItem_id"), QStringLiteral("Flag_id")},
                      {qint64(item), flag}))
            return false;
    }
    return true;
}

bool writeItems(const QSqlDatabase &db, Writer &w, const LegacyDatabase::Options &options, QString *error)
{
    QSqlDatabase handle = db;
    for (int first = 1; first <= options.items; first += options.batch) {
        if (!handle.transaction()) {
            *error = handle.lastError().text();
            return false;
        }
        for (int item = first; item < first + options.batch && item <= options.items; ++item) {
            if (!writeItem(w, item)) {
                handle.rollback();
                return false;
            }
        }
        if (!handle.commit()) {
            *error = handle.lastError().text();
            return false;
        }
    }
    return true;
}

struct TableColumns
{
    QString table;
    QList<std::pair<QString, QString>> columns; // name, value type
    QStringList order;
};

// Tables and columns of today's schema, from its description.
QList<TableColumns> currentTables()
{
    QList<TableColumns> tables;
    QFile file(QStringLiteral(":talvoridb.xml"));
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
        return tables;
    for (QDomElement element = document.documentElement().firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        TableColumns table;
        if (element.tagName() == QLatin1String("table")) {
            const DbInitializer::TableDescription description = DbInitializer::parseTableDescription(element);
            table.table = description.name;
            for (const DbInitializer::ColumnDescription &column : description.columns)
                table.columns.append({column.name, column.type});
            table.order = {table.columns.first().first};
        } else {
            const DbInitializer::RelationDescription relation = DbInitializer::parseRelationDescription(element);
            table.table = relation.firstTable + relation.secondTable + QLatin1String("Relation");
            table.columns = {{relation.firstTable + QLatin1Char('_') + relation.firstColumn, QStringLiteral("qint64")},
                             {relation.secondTable + QLatin1Char('_') + relation.secondColumn, QStringLiteral("qint64")}};
            table.order = {table.columns.at(0).first, table.columns.at(1).first};
        }
        tables.append(table);
    }
    return tables;
}

QString valueText(const QVariant &value, const QString &type)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    if (type == QLatin1String("bool"))
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (type == QLatin1String("int") || type == QLatin1String("qint64"))
        return QString::number(value.toLongLong());
    if (type == QLatin1String("QDateTime"))
        return value.toDateTime().toString(Qt::ISODate);
    if (type == QLatin1String("QString"))
        return QLatin1Char('\'') + QString::fromUtf8(value.toByteArray()) + QLatin1Char('\'');
    return QString::fromLatin1(value.toByteArray().toHex());
}

// Index name, uniqueness, primary key and the (lower-case) column names, as the backend lists them.
struct IndexInfo
{
    QString name;
    bool unique = false;
    bool primary = false;
    QStringList columns;
};

bool listIndexes(const QSqlDatabase &db, const QString &table, QList<IndexInfo> *indexes, QString *error)
{
    QSqlQuery query(db);
    const QString driver = db.driverName();
    QMap<QString, IndexInfo> byName;
    if (driver.startsWith(QLatin1String("QSQLITE"))) {
        if (!query.exec(QStringLiteral("SELECT name, \"unique\", origin FROM pragma_index_list('%1')").arg(table))) {
            *error = query.lastError().text();
            return false;
        }
        while (query.next()) {
            IndexInfo &index = byName[query.value(0).toString()];
            index.name = query.value(0).toString();
            index.unique = query.value(1).toBool();
            index.primary = query.value(2).toString() == QLatin1String("pk");
        }
        for (IndexInfo &index : byName) {
            QSqlQuery columns(db);
            if (!columns.exec(QStringLiteral("SELECT name FROM pragma_index_info('%1')").arg(index.name))) {
                *error = columns.lastError().text();
                return false;
            }
            while (columns.next())
                index.columns.append(columns.value(0).toString().toLower());
        }
    } else {
        const bool mysql = driver == QLatin1String("QMYSQL");
        const QString statement = mysql
            ? QStringLiteral("SHOW INDEX FROM %1").arg(table)
            : QStringLiteral("SELECT ic.relname, ix.indisunique, ix.indisprimary, a.attname FROM pg_index ix "
                             "JOIN pg_class t ON t.oid = ix.indrelid JOIN pg_class ic ON ic.oid = ix.indexrelid "
                             "JOIN pg_attribute a ON a.attrelid = t.oid AND a.attnum = ANY(ix.indkey) "
                             "WHERE t.relname = '%1'")
                  .arg(table);
        if (!query.exec(statement)) {
            *error = query.lastError().text();
            return false;
        }
        const QSqlRecord record = query.record();
        while (query.next()) {
            const QString name = query.value(mysql ? record.indexOf(QStringLiteral("Key_name")) : 0).toString();
            IndexInfo &index = byName[name];
            index.name = name;
            index.unique = mysql ? !query.value(record.indexOf(QStringLiteral("Non_unique"))).toBool() : query.value(1).toBool();
            index.primary = mysql ? name == QLatin1String("PRIMARY") : query.value(2).toBool();
            index.columns.append(query.value(mysql ? record.indexOf(QStringLiteral("Column_name")) : 3).toString().toLower());
        }
    }
    *indexes = byName.values();
    return true;
}

} // namespace

QList<int> LegacyDatabase::versions()
{
    return {7, 8, 9, 12, 16, 18, 19};
}

bool LegacyDatabase::create(const QSqlDatabase &db, int version, const Options &options, QString *error)
{
    if (!versions().contains(version)) {
        *error = QStringLiteral("no sample for version %1").arg(version);
        return false;
    }
    const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(db, schemaFile(version));
    if (!initializer || !initializer->run()) {
        *error = initializer ? initializer->errorMsg() : QStringLiteral("no initializer for %1").arg(db.driverName());
        return false;
    }

    Writer w(db, version, error);
    if (!w.execute(QStringLiteral("UPDATE SchemaVersionTable SET version = %1").arg(version)) || !writeResources(w)
        || !writeCollections(w, options.searchRoot) || !writeCollectionData(w))
        return false;
    if (version < 19
        && !w.insert(QStringLiteral("FlagTable"), {QStringLiteral("name")}, {w.text(QStringLiteral("\\Seen"))}))
        return false;
    return writeItems(db, w, options, error) && (!options.searchRoot || writeSearchResults(w, options.items));
}

QStringList LegacyDatabase::dump(const QSqlDatabase &db, QString *error)
{
    QStringList lines;
    const QList<TableColumns> tables = currentTables();
    if (tables.isEmpty()) {
        *error = QStringLiteral("cannot read :talvoridb.xml");
        return lines;
    }
    for (const TableColumns &table : tables) {
        QStringList names;
        for (const auto &column : table.columns)
            names.append(column.first);
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                            .arg(names.join(QLatin1String(", ")), table.table, table.order.join(QLatin1String(", "))))) {
            *error = table.table + QLatin1String(": ") + query.lastError().text();
            return QStringList();
        }
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < table.columns.size(); ++i)
                values.append(table.columns.at(i).first + QLatin1Char('=') + valueText(query.value(i), table.columns.at(i).second));
            lines.append(table.table + QLatin1String(": ") + values.join(QLatin1String(", ")));
        }
    }
    return lines;
}

QStringList LegacyDatabase::schema(const QSqlDatabase &db, QString *error)
{
    QStringList lines;
    const QStringList tables = db.tables();
    for (const QString &table : tables) {
        if (table.startsWith(QLatin1String("sqlite_")))
            continue;
        const QString name = table.toLower();
        const QSqlRecord record = db.record(table);
        for (int i = 0; i < record.count(); ++i) {
            const QSqlField field = record.field(i);
            lines.append(QStringLiteral("%1.%2 %3 %4")
                             .arg(name, field.name().toLower(),
                                  field.requiredStatus() == QSqlField::Required ? QStringLiteral("NOT NULL")
                                                                                  : QStringLiteral("NULL"),
                                  QString::fromLatin1(field.metaType().name())));
        }
        QList<IndexInfo> indexes;
        if (!listIndexes(db, table, &indexes, error))
            return QStringList();
        for (IndexInfo &index : indexes) {
            const QString indexName = index.name.toLower();
            // Names the database made up (constraints, automatic indexes) differ between a renamed
            // table and a new one; the schema's own indexes are named "<table>_<index>".
            const bool named = indexName.startsWith(name + QLatin1Char('_')) && !indexName.endsWith(QLatin1String("_key"))
                && !indexName.endsWith(QLatin1String("_pkey"));
            if (index.primary || (!named && !index.unique))
                continue;
            std::sort(index.columns.begin(), index.columns.end());
            lines.append(QStringLiteral("%1 %2 (%3)%4")
                             .arg(name, named ? QLatin1String("index ") + indexName : QStringLiteral("unique"),
                                  index.columns.join(QLatin1Char(',')), index.unique ? QStringLiteral(" unique") : QString()));
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}
