// The schema updater on databases as older versions left them, on each backend: every pending
// update runs once, in order; rows, schema and indexes end up as in a database created today;
// failing updates roll back and a mandatory one stops the run; an update stopped half way (as
// MySQL's self-committing statements leave it) runs again without losing anything.

#include "storage/datastore.h"
#include "storage/dbinitializer.h"
#include "storage/dbupdater.h"

#include "legacydatabase.h"
#include "teststorage.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Collects the messages of the updater and initializer while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(handler);
        s_previous = m_previous;
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

    static const QStringList &lines() { return s_lines; }
    static int count(const QString &fragment)
    {
        return int(std::count_if(s_lines.cbegin(), s_lines.cend(),
                                 [&](const QString &line) { return line.contains(fragment); }));
    }
    // The versions of the updates begun, in order.
    static QList<int> updatesRun()
    {
        static const QRegularExpression pattern(QStringLiteral("DbUpdater: update to version: (\\d+)"));
        QList<int> versions;
        for (const QString &line : s_lines) {
            const QRegularExpressionMatch match = pattern.match(line);
            if (match.hasMatch())
                versions.append(match.captured(1).toInt());
        }
        return versions;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        s_lines.append(message);
        if (type != QtDebugMsg && s_previous)
            s_previous(type, context, message);
    }

    QtMessageHandler m_previous = nullptr;
    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_lines;
};

int storedVersion(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM SchemaVersionTable")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool execute(const QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    qWarning() << statement << query.lastError().text();
    return false;
}

// What the server does at start: the initializer, then the updater.
bool startUp(const QSqlDatabase &db, const QString &description = QStringLiteral(":dbupdate.xml"))
{
    const std::shared_ptr<DbInitializer> initializer = DbInitializer::createInstance(db, QStringLiteral(":talvoridb.xml"));
    if (!initializer->run()) {
        qWarning() << initializer->errorMsg();
        return false;
    }
    return DbUpdater(db, description).run();
}

// The versions of the real description above version, ascending.
QList<int> pendingUpdates(int version)
{
    QList<int> versions;
    for (int v : {2, 3, 4, 8, 10, 12, 13, 14, 15, 16, 17, 18, 19}) {
        if (v > version)
            versions.append(v);
    }
    return versions;
}

QString familyOf(const QSqlDatabase &db)
{
    const QString driver = db.driverName();
    if (driver == QLatin1String("QMYSQL"))
        return QStringLiteral("mysql");
    return driver == QLatin1String("QPSQL") ? QStringLiteral("psql") : QStringLiteral("sqlite");
}

} // namespace

class DbUpdaterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void upgrade_data();
    void upgrade();
    void searchRootIsRestored();
    void seenFlagIsAddedWhenOnlyTheOldSpellingExists();
    void halfAppliedUpdateRunsAgain_data();
    void halfAppliedUpdateRunsAgain();
    void failingUpdates_data();
    void failingUpdates();
    void invalidDescription_data();
    void invalidDescription();
    void emptyVersionTableFails();

private:
    QSqlDatabase newDatabase();
    QSqlDatabase legacyDatabase(int version, const LegacyDatabase::Options &options = LegacyDatabase::Options());
    QString writeDescription(const QString &text);
    void verifyLikeToday(const QSqlDatabase &db);

    TestStorage m_storage;
    QTemporaryDir m_files;
    int m_databases = 0;
    QStringList m_referenceRows;
    QStringList m_referenceSchema;
};

void DbUpdaterTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    QVERIFY(m_files.isValid());
    // The sample as today's schema holds it: what every upgrade must arrive at.
    const QSqlDatabase reference = legacyDatabase(19);
    QVERIFY(reference.isOpen());
    QString error;
    m_referenceRows = LegacyDatabase::dump(reference, &error);
    QVERIFY2(!m_referenceRows.isEmpty(), qPrintable(error));
    m_referenceSchema = LegacyDatabase::schema(reference, &error);
    QVERIFY2(!m_referenceSchema.isEmpty(), qPrintable(error));
}

QSqlDatabase DbUpdaterTest::newDatabase()
{
    QString error;
    QSqlDatabase db = m_storage.createEmptyDatabase(QStringLiteral("upd%1").arg(++m_databases), &error);
    if (!db.isOpen())
        qWarning() << "no database:" << error;
    return db;
}

QSqlDatabase DbUpdaterTest::legacyDatabase(int version, const LegacyDatabase::Options &options)
{
    QSqlDatabase db = newDatabase();
    QString error;
    if (db.isOpen() && !LegacyDatabase::create(db, version, options, &error)) {
        qWarning() << "version" << version << ":" << error;
        db.close();
    }
    return db;
}

QString DbUpdaterTest::writeDescription(const QString &text)
{
    const QString fileName = m_files.filePath(QStringLiteral("update%1.xml").arg(++m_databases));
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly))
        file.write(text.toUtf8());
    return fileName;
}

void DbUpdaterTest::verifyLikeToday(const QSqlDatabase &db)
{
    QString error;
    QCOMPARE(storedVersion(db), 19);
    const QStringList rows = LegacyDatabase::dump(db, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows, m_referenceRows);
    const QStringList schema = LegacyDatabase::schema(db, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(schema, m_referenceSchema);
}

void DbUpdaterTest::upgrade_data()
{
    QTest::addColumn<int>("version");
    for (int version : LegacyDatabase::versions()) {
        if (version < 19)
            QTest::addRow("from %d", version) << version;
    }
}

void DbUpdaterTest::upgrade()
{
    QFETCH(int, version);
    const QSqlDatabase db = legacyDatabase(version);
    QVERIFY(db.isOpen());

    {
        LogCapture log;
        QVERIFY(startUp(db));
        QCOMPARE(LogCapture::updatesRun(), pendingUpdates(version));
        QCOMPARE(LogCapture::count(QStringLiteral("DBUpdater: query error:")), 0);
    }
    verifyLikeToday(db);

    // A root collection made by today's server leaves out parentId: it must come out NULL.
    QVERIFY(execute(db, QStringLiteral("INSERT INTO CollectionTable (name, resourceId) VALUES ('new root', 2)")));
    QSqlQuery root(db);
    QVERIFY(root.exec(QStringLiteral("SELECT parentId FROM CollectionTable WHERE resourceId = 2 AND parentId IS NULL")));
    QVERIFY(root.next() && root.next()); // inbox and the new one
    QVERIFY(execute(db, QStringLiteral("DELETE FROM CollectionTable WHERE resourceId = 2 AND remoteId IS NULL AND parentId IS NULL")));

    // The next start finds nothing to do.
    LogCapture again;
    QVERIFY(startUp(db));
    QCOMPARE(LogCapture::updatesRun(), QList<int>());
    QCOMPARE(LogCapture::count(QStringLiteral("skipping update")), 13);
    verifyLikeToday(db);
}

void DbUpdaterTest::searchRootIsRestored()
{
    LegacyDatabase::Options options;
    options.searchRoot = false;
    const QSqlDatabase db = legacyDatabase(8, options);
    QVERIFY(db.isOpen());
    QVERIFY(startUp(db));
    QCOMPARE(storedVersion(db), 19);
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("SELECT name, parentId FROM CollectionTable WHERE resourceId = 1")));
    QVERIFY(query.next());
    QCOMPARE(QString::fromUtf8(query.value(0).toByteArray()), QStringLiteral("Search"));
    QVERIFY(query.value(1).isNull());
    QVERIFY(!query.next());
}

void DbUpdaterTest::seenFlagIsAddedWhenOnlyTheOldSpellingExists()
{
    const QSqlDatabase db = legacyDatabase(18);
    QVERIFY(db.isOpen());
    // A database whose flags a client created: only "\Seen" is there.
    QVERIFY(execute(db, QStringLiteral("DELETE FROM PimItemFlagRelation WHERE Flag_id = 7")));
    QVERIFY(execute(db, QStringLiteral("DELETE FROM FlagTable WHERE id = 7")));
    QVERIFY(startUp(db));
    QCOMPARE(storedVersion(db), 19);
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("SELECT name FROM FlagTable WHERE id > 8")));
    QVERIFY(query.next());
    QCOMPARE(QString::fromUtf8(query.value(0).toByteArray()), QStringLiteral("\\SEEN"));
    QVERIFY(!query.next());
    // Items 2 and 3 (of 6) had "\Seen"; they keep it under the one spelling.
    QVERIFY(query.exec(QStringLiteral("SELECT PimItem_id FROM PimItemFlagRelation WHERE Flag_id > 8 ORDER BY PimItem_id")));
    QList<qint64> items;
    while (query.next())
        items.append(query.value(0).toLongLong());
    QCOMPARE(items, (QList<qint64>{2, 3, 5, 6}));
}

// An update applied up to one of its steps and committed there, its version not raised, as a
// MySQL server leaves it when the update stops half way: the next start completes it.
void DbUpdaterTest::halfAppliedUpdateRunsAgain_data()
{
    QTest::addColumn<int>("update");
    QTest::addColumn<int>("steps");

    QFile file(QStringLiteral(":dbupdate.xml"));
    QDomDocument document;
    QVERIFY(file.open(QIODevice::ReadOnly) && document.setContent(&file));
    const QString family = familyOf(DataStore::self()->database());
    for (QDomElement update = document.documentElement().firstChildElement(QStringLiteral("update")); !update.isNull();
         update = update.nextSiblingElement(QStringLiteral("update"))) {
        const int version = update.attribute(QStringLiteral("version")).toInt();
        if (version != 10 && version != 13 && version != 19)
            continue;
        int steps = 0;
        for (QDomElement step = update.firstChildElement(); !step.isNull(); step = step.nextSiblingElement()) {
            ++steps;
            // A step for another family leaves the same state as the one before it.
            if (step.attribute(QStringLiteral("backends")).split(QLatin1Char(',')).contains(family)
                && !step.nextSiblingElement().isNull())
                QTest::addRow("update %d after step %d", version, steps) << version << steps;
        }
    }
}

void DbUpdaterTest::halfAppliedUpdateRunsAgain()
{
    QFETCH(int, update);
    QFETCH(int, steps);
    const int before = update == 10 ? 9 : update - 1;
    const QSqlDatabase db = legacyDatabase(before == 17 ? 18 : before);
    QVERIFY(db.isOpen());

    // The first steps of the update alone, applied by the updater itself.
    QFile file(QStringLiteral(":dbupdate.xml"));
    QDomDocument document;
    QVERIFY(file.open(QIODevice::ReadOnly) && document.setContent(&file));
    QDomElement root = document.documentElement();
    for (QDomElement element = root.firstChildElement(QStringLiteral("update")); !element.isNull();) {
        QDomElement next = element.nextSiblingElement(QStringLiteral("update"));
        if (element.attribute(QStringLiteral("version")).toInt() != update) {
            root.removeChild(element);
        } else {
            int kept = 0;
            for (QDomElement step = element.firstChildElement(); !step.isNull();) {
                QDomElement nextStep = step.nextSiblingElement();
                if (++kept > steps)
                    element.removeChild(step);
                step = nextStep;
            }
        }
        element = next;
    }
    QVERIFY(startUp(db, writeDescription(document.toString())));
    QVERIFY(execute(db, QStringLiteral("UPDATE SchemaVersionTable SET version = %1").arg(storedVersion(db) == update ? before : storedVersion(db))));

    LogCapture log;
    QVERIFY(startUp(db));
    QCOMPARE(LogCapture::count(QStringLiteral("DBUpdater: query error:")), 0);
    verifyLikeToday(db);
}

// Descriptions of updates 20 and up on a database of today: markers (flags) show what stayed.
void DbUpdaterTest::failingUpdates_data()
{
    QTest::addColumn<QString>("updates");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("gone");
    QTest::addColumn<QString>("logged");

    const auto marker = [](const char *name) {
        return QStringLiteral("<raw-sql backends=\"mysql,psql,sqlite\">INSERT INTO FlagTable (name) VALUES ('%1')</raw-sql>")
            .arg(QLatin1String(name));
    };
    const QString failing = QStringLiteral("<raw-sql backends=\"mysql,psql,sqlite\">INSERT INTO NoSuchTable VALUES (1)</raw-sql>");
    const QString alsoFailing = QStringLiteral("<raw-sql backends=\"mysql,psql,sqlite\">SELECT * FROM AlsoMissing</raw-sql>");

    QTest::newRow("mandatory failure stops, earlier updates stay")
        << QStringLiteral("<update version=\"20\">%1</update><update version=\"21\" abortOnFailure=\"true\">%2%3%4</update>"
                          "<update version=\"22\">%5</update>")
               .arg(marker("m20"), marker("m21"), failing, alsoFailing, marker("m22"))
        << false << 20 << QStringList{QStringLiteral("m20")} << QStringList{QStringLiteral("m21"), QStringLiteral("m22")}
        << QStringLiteral("NoSuchTable");
    QTest::newRow("optional failure is skipped, the next raises the version")
        << QStringLiteral("<update version=\"20\">%1%2%3</update><update version=\"21\">%4</update>")
               .arg(marker("m20"), failing, marker("m20b"), marker("m21"))
        << true << 21 << QStringList{QStringLiteral("m21")} << QStringList{QStringLiteral("m20"), QStringLiteral("m20b")}
        << QStringLiteral("Failed to commit transaction for database update");
    QTest::newRow("an update without statements for this backend counts")
        << QStringLiteral("<update version=\"20\"><raw-sql backends=\"other\">nonsense</raw-sql></update>") << true << 20
        << QStringList() << QStringList() << QString();
    QTest::newRow("guards skip steps for what is not there")
        << QStringLiteral("<update version=\"20\" abortOnFailure=\"true\">"
                          "<raw-sql backends=\"mysql,psql,sqlite\" ifTable=\"NoSuchTable\">DROP TABLE NoSuchTable</raw-sql>"
                          "<raw-sql backends=\"mysql,psql,sqlite\" ifColumn=\"FlagTable.nosuch\">nonsense</raw-sql>"
                          "<raw-sql backends=\"mysql,psql,sqlite\" ifIndex=\"PartTable.PartTable_nosuch\">nonsense</raw-sql>"
                          "<raw-sql backends=\"mysql,psql,sqlite\" ifColumn=\"FlagTable.name\">INSERT INTO FlagTable (name) VALUES ('m1')</raw-sql>"
                          "<raw-sql backends=\"mysql,psql,sqlite\" ifIndex=\"PartTable.PartTable_pimItemNameIndex\">INSERT INTO FlagTable (name) VALUES ('m2')</raw-sql>"
                          "<raw-sql backends=\"mysql,psql,sqlite\" ifTable=\"flagtable\">INSERT INTO FlagTable (name) VALUES ('m3')</raw-sql>"
                          "</update>")
        << true << 20 << QStringList{QStringLiteral("m1"), QStringLiteral("m2"), QStringLiteral("m3")} << QStringList()
        << QString();
    QTest::newRow("a check that finds rows fails the update")
        << QStringLiteral("<update version=\"20\" abortOnFailure=\"true\">%1"
                          "<check backends=\"mysql,psql,sqlite\" message=\"there are flags\">SELECT id FROM FlagTable</check></update>")
               .arg(marker("m20"))
        << false << 19 << QStringList() << QStringList{QStringLiteral("m20")} << QStringLiteral("there are flags");
    QTest::newRow("a check that finds nothing passes")
        << QStringLiteral("<update version=\"20\" abortOnFailure=\"true\">"
                          "<check backends=\"mysql,psql,sqlite\" message=\"no\">SELECT id FROM FlagTable WHERE id &lt; 0</check>%1</update>")
               .arg(marker("m20"))
        << true << 20 << QStringList{QStringLiteral("m20")} << QStringList() << QString();
}

void DbUpdaterTest::failingUpdates()
{
    QFETCH(QString, updates);
    QFETCH(bool, result);
    QFETCH(int, version);
    QFETCH(QStringList, kept);
    QFETCH(QStringList, gone);
    QFETCH(QString, logged);

    const QSqlDatabase db = newDatabase();
    QVERIFY(db.isOpen());
    QVERIFY(startUp(db));
    LogCapture log;
    QCOMPARE(DbUpdater(db, writeDescription(QStringLiteral("<updates>%1</updates>").arg(updates))).run(), result);
    QCOMPARE(storedVersion(db), version);
    // The first failure ends an update: later statements are not tried.
    QVERIFY(LogCapture::count(QStringLiteral("DBUpdater: query error:")) <= 1);
    if (!logged.isEmpty())
        QVERIFY2(LogCapture::count(logged) > 0, qPrintable(LogCapture::lines().join(QLatin1Char('\n'))));
    QSqlQuery query(db);
    for (const QString &name : kept + gone) {
        QVERIFY(query.exec(QStringLiteral("SELECT id FROM FlagTable WHERE name = '%1'").arg(name)));
        QVERIFY2(query.next() == kept.contains(name), qPrintable(name));
    }
}

void DbUpdaterTest::invalidDescription_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QString() << QStringLiteral("Unable to open update description file");
    QTest::newRow("not XML") << QStringLiteral("<updates><update") << QStringLiteral("Unable to parse update description file");
    QTest::newRow("wrong root") << QStringLiteral("<database/>") << QStringLiteral("Invalid update description file formant");
    QTest::newRow("version 0") << QStringLiteral("<updates><update version=\"0\"/></updates>")
                               << QStringLiteral("Invalid version attribute in database update description");
    QTest::newRow("no version") << QStringLiteral("<updates><update/></updates>")
                                << QStringLiteral("Invalid version attribute in database update description");
    QTest::newRow("duplicate") << QStringLiteral("<updates><update version=\"20\"/><update version=\"20\"/></updates>")
                               << QStringLiteral("Duplicate version attribute in database update description");
    QTest::newRow("duplicate of an applied one")
        << QStringLiteral("<updates><update version=\"5\"/><update version=\"5\"/></updates>")
        << QStringLiteral("Duplicate version attribute in database update description");
    QTest::newRow("rebuild without schema")
        << QStringLiteral("<updates><update version=\"20\"><rebuild-table backends=\"mysql,psql,sqlite\" "
                          "table=\"FlagTable\"/></update></updates>")
        << QStringLiteral("needs the schema attribute");
}

void DbUpdaterTest::invalidDescription()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    const QSqlDatabase db = newDatabase();
    QVERIFY(db.isOpen());
    QVERIFY(startUp(db));
    const QString fileName = text.isNull() ? m_files.filePath(QStringLiteral("missing.xml")) : writeDescription(text);
    LogCapture log;
    QVERIFY(!DbUpdater(db, fileName).run());
    QVERIFY2(LogCapture::count(message) == 1, qPrintable(LogCapture::lines().join(QLatin1Char('\n'))));
    QCOMPARE(storedVersion(db), 19);
}

void DbUpdaterTest::emptyVersionTableFails()
{
    const QSqlDatabase db = newDatabase();
    QVERIFY(db.isOpen());
    QVERIFY(startUp(db));
    QVERIFY(execute(db, QStringLiteral("DELETE FROM SchemaVersionTable")));
    LogCapture log;
    QVERIFY(!DbUpdater(db, QStringLiteral(":dbupdate.xml")).run());
    QCOMPARE(LogCapture::count(QStringLiteral("SchemaVersionTable holds no row")), 1);
    QCOMPARE(LogCapture::updatesRun(), QList<int>());
}

QTEST_GUILESS_MAIN(DbUpdaterTest)
#include "tst_dbupdater.moc"
