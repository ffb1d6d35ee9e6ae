#include "storage/isodatetime.h"
#include "storage/sqlitedriver.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <ctime>

// The "QSQLITE3" driver: values, scrolling and errors, and above all concurrent writers from
// several threads, which must wait for each other instead of failing with "database is locked".
class SqliteDriverTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    QSqlDatabase open(const QString &file, const QString &options = QString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE3"), QStringLiteral("c%1").arg(++m_counter));
        db.setDatabaseName(m_dir.filePath(file));
        db.setConnectOptions(options);
        return db;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SqliteDriver::registerDriver();
        SqliteDriver::registerDriver(); // a second registration is harmless
        QVERIFY(QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE3")));
    }

    void valuesAndScrolling()
    {
        QSqlDatabase db = open(QStringLiteral("values.db"));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery pragma(db);
        QVERIFY(pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next());
        QCOMPARE(pragma.value(0).toString(), QStringLiteral("wal"));

        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, n BIGINT, r REAL, "
                                          "s TEXT, b BLOB)")));
        QVERIFY(query.prepare(QStringLiteral("INSERT INTO t (n, r, s, b) VALUES (:n, :r, :s, :b)")));
        const QList<QVariantList> rows = {
            {qint64(Q_INT64_C(9007199254740993)), 0.5, QStringLiteral("a"), QByteArray("\0\1", 2)},
            {QVariant(), QVariant(), QVariant(), QVariant()},
            {qint64(-1), -2.25, QStringLiteral("c"), QByteArray()},
            // Empty is not null: as Qt's own drivers bind them.
            {qint64(0), 0.0, QString(), QByteArray("", 0)},
        };
        qint64 lastId = 0;
        for (const QVariantList &row : rows) {
            query.bindValue(QStringLiteral(":n"), row[0]);
            query.bindValue(QStringLiteral(":r"), row[1]);
            query.bindValue(QStringLiteral(":s"), row[2]);
            query.bindValue(QStringLiteral(":b"), row[3]);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
            QCOMPARE(query.numRowsAffected(), 1);
            QVERIFY(query.lastInsertId().toLongLong() > lastId);
            lastId = query.lastInsertId().toLongLong();
        }

        QVERIFY(query.exec(QStringLiteral("SELECT n, r, s, b FROM t ORDER BY id")));
        QCOMPARE(query.record().count(), 4);
        QCOMPARE(query.record().fieldName(2), QStringLiteral("s"));
        QVERIFY(query.seek(2));
        QCOMPARE(query.value(1).toDouble(), -2.25);
        QVERIFY(query.first());
        QCOMPARE(query.value(0).toLongLong(), Q_INT64_C(9007199254740993));
        QCOMPARE(query.value(3).toByteArray(), QByteArray("\0\1", 2));
        QVERIFY(query.next());
        QVERIFY(query.isNull(0) && query.isNull(2) && query.isNull(3));
        QVERIFY(query.next());
        QVERIFY(query.isNull(3)); // a null byte array is NULL
        QVERIFY(query.next());
        QVERIFY(query.isNull(2)); // so is a null string
        QVERIFY(!query.isNull(3));
        QCOMPARE(query.value(3).toByteArray(), QByteArray(""));
        QVERIFY(query.seek(0));
        QVERIFY(query.next());
        QVERIFY(query.previous());
        QCOMPARE(query.value(2).toString(), QStringLiteral("a"));

        QSqlQuery forward(db);
        forward.setForwardOnly(true);
        QVERIFY(forward.exec(QStringLiteral("SELECT id FROM t ORDER BY id")));
        int count = 0;
        while (forward.next())
            ++count;
        QCOMPARE(count, rows.size());
        QVERIFY(!forward.previous());

        QVERIFY(db.tables().contains(QStringLiteral("t")));
        QCOMPARE(db.record(QStringLiteral("t")).count(), 5);
    }

    // Date-times are stored as text; the driver and the records write and read the texts without
    // Qt's slow conversions, and must come to exactly what those give.
    void dateTimeText_data()
    {
        QTest::addColumn<QDateTime>("value");
        const QDate day(2024, 12, 11);
        QTest::newRow("UTC") << QDateTime(day, QTime(12, 34, 56, 789), Qt::UTC);
        QTest::newRow("UTC, whole second") << QDateTime(day, QTime(0, 0), Qt::UTC);
        QTest::newRow("UTC, early year") << QDateTime(QDate(5, 1, 2), QTime(1, 2, 3, 4), Qt::UTC);
        QTest::newRow("UTC, last year") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
        QTest::newRow("beyond four digits") << QDateTime(QDate(12345, 1, 1), QTime(1, 0), Qt::UTC);
        QTest::newRow("local time") << QDateTime(day, QTime(8, 0), Qt::LocalTime);
        QTest::newRow("offset") << QDateTime(day, QTime(8, 0), Qt::OffsetFromUTC, 7200);
    }

    void dateTimeText()
    {
        QFETCH(QDateTime, value);
        const QByteArray expected = value.toString(Qt::ISODateWithMs).toUtf8();
        QCOMPARE(IsoDateTime::toText(value), expected);

        QSqlDatabase db = open(QStringLiteral("dates.db"));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY(query.prepare(QStringLiteral("SELECT CAST(? AS TEXT)")));
        query.addBindValue(value);
        QVERIFY(query.exec() && query.next());
        QCOMPARE(query.value(0).toString().toUtf8(), expected);
    }

    void dateTimeFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("as written") << QStringLiteral("2024-12-11T12:34:56.789Z");
        QTest::newRow("column default") << QStringLiteral("2024-12-11 12:34:56");
        QTest::newRow("without zone") << QStringLiteral("2024-12-11T12:34:56");
        QTest::newRow("without fraction") << QStringLiteral("2024-12-11T12:34:56Z");
        QTest::newRow("short fraction") << QStringLiteral("2024-12-11 12:34:56.7");
        QTest::newRow("hour 24") << QStringLiteral("2024-12-11T24:00:00");
        QTest::newRow("year 0") << QStringLiteral("0000-01-01T00:00:00.000Z");
        QTest::newRow("no such day") << QStringLiteral("2024-02-30T00:00:00Z");
        QTest::newRow("offset") << QStringLiteral("2024-12-11T12:34:56+02:00");
        QTest::newRow("letters") << QStringLiteral("2024-1x-11T12:34:56.789Z");
        QTest::newRow("empty") << QString();
    }

    void dateTimeFromText()
    {
        QFETCH(QString, text);
        // The server's rule: Qt's reading, and a time without a zone is UTC.
        QDateTime expected = QDateTime::fromString(text, Qt::ISODate);
        if (expected.isValid() && expected.timeSpec() == Qt::LocalTime)
            expected.setTimeSpec(Qt::UTC);
        const QDateTime parsed = IsoDateTime::fromText(text);
        QCOMPARE(parsed, expected);
        QCOMPARE(parsed.isValid(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(parsed.timeSpec(), expected.timeSpec());
    }

    // The server stores UTC; a time without a zone (SQLite's CURRENT_TIMESTAMP) is UTC whatever the
    // local zone, even an hour that does not exist there (Qt reads it as local time, which made it
    // invalid).
    void dateTimeWithoutZoneIsUtc()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
        const QDateTime inGap = IsoDateTime::fromText(QStringLiteral("2024-03-10 02:30:00"));
        const QDateTime ordinary = IsoDateTime::fromText(QStringLiteral("2024-07-01 12:00:00"));
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
        QCOMPARE(inGap, QDateTime(QDate(2024, 3, 10), QTime(2, 30), Qt::UTC));
        QCOMPARE(ordinary, QDateTime(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC));
    }

    void synchronousMode_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("mode"); // as PRAGMA synchronous reports it
        QTest::newRow("default") << QString() << 1;
        QTest::newRow("full") << QStringLiteral("QSQLITE_SYNCHRONOUS=FULL") << 2;
        QTest::newRow("lower case, beside other options")
            << QStringLiteral("QSQLITE_BUSY_TIMEOUT=100; QSQLITE_SYNCHRONOUS=extra") << 3;
        QTest::newRow("unsafe value ignored") << QStringLiteral("QSQLITE_SYNCHRONOUS=OFF") << 1;
    }

    void synchronousMode()
    {
        QFETCH(QString, options);
        QFETCH(int, mode);
        QSqlDatabase db = open(QStringLiteral("sync.db"), options);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery pragma(db);
        QVERIFY(pragma.exec(QStringLiteral("PRAGMA synchronous")) && pragma.next());
        QCOMPARE(pragma.value(0).toInt(), mode);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QVariantList>("values");
        QTest::newRow("syntax") << QStringLiteral("SELEC 1") << QVariantList();
        QTest::newRow("missing table") << QStringLiteral("SELECT * FROM nowhere") << QVariantList();
        QTest::newRow("too few values") << QStringLiteral("SELECT ?, ?") << QVariantList{1};
        QTest::newRow("too many values") << QStringLiteral("SELECT ?") << QVariantList{1, 2};
        QTest::newRow("constraint") << QStringLiteral("INSERT INTO u VALUES (?)") << QVariantList{1};
        QTest::newRow("empty") << QStringLiteral("  -- nothing") << QVariantList();
    }

    void errors()
    {
        QFETCH(QString, statement);
        QFETCH(QVariantList, values);
        QSqlDatabase db = open(QStringLiteral("errors.db"));
        QVERIFY(db.open());
        QSqlQuery setup(db);
        QVERIFY(setup.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS u (k INTEGER UNIQUE)")));
        QVERIFY(setup.exec(QStringLiteral("INSERT OR IGNORE INTO u VALUES (1)")));
        QSqlQuery query(db);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        QVERIFY(!query.exec());
        QVERIFY(query.lastError().isValid());
        QVERIFY(!query.lastError().text().isEmpty());
    }

    // Two threads, each with its own connection, write in transactions at the same time. Without
    // waiting one of them fails with "database is locked" (SQLITE_BUSY) or, in shared-cache mode,
    // "database table is locked" (SQLITE_LOCKED).
    void concurrentWriters_data()
    {
        QTest::addColumn<QString>("options");
        QTest::newRow("separate caches") << QString();
        QTest::newRow("shared cache") << QStringLiteral("QSQLITE_ENABLE_SHARED_CACHE");
    }

    void concurrentWriters()
    {
        QFETCH(QString, options);
        const QString file = QStringLiteral("concurrent-%1.db")
                                 .arg(QTest::currentDataTag())
                                 .replace(QLatin1Char(' '), QLatin1Char('-'));
        {
            QSqlDatabase db = open(file, options);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("CREATE TABLE w (thread INTEGER, i INTEGER, payload BLOB)")));
        }

        constexpr int Threads = 2;
        constexpr int Transactions = 40;
        std::atomic<int> ready{0};
        QStringList failures[Threads];
        QList<QThread *> threads;
        for (int t = 0; t < Threads; ++t) {
            const QString connection = QStringLiteral("writer-%1-%2").arg(QTest::currentDataTag()).arg(t);
            const QString path = m_dir.filePath(file);
            QStringList *errors = &failures[t];
            threads.append(QThread::create([=, &ready] {
                {
                    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE3"), connection);
                    db.setDatabaseName(path);
                    db.setConnectOptions(options);
                    if (!db.open()) {
                        errors->append(db.lastError().text());
                        return;
                    }
                    // Start together so the transactions really overlap.
                    ++ready;
                    while (ready.load() < Threads)
                        QThread::yieldCurrentThread();
                    for (int i = 0; i < Transactions; ++i) {
                        if (!db.transaction()) {
                            errors->append(db.lastError().text());
                            continue;
                        }
                        // Read before writing, as the data store does: a transaction that
                        // starts as a reader cannot wait for the write lock later.
                        QSqlQuery count(db);
                        if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM w")) || !count.next())
                            errors->append(count.lastError().text());
                        count.finish();
                        QSqlQuery query(db);
                        query.prepare(QStringLiteral("INSERT INTO w VALUES (?, ?, ?)"));
                        for (int row = 0; row < 5; ++row) {
                            query.addBindValue(t);
                            query.addBindValue(i);
                            query.addBindValue(QByteArray(512, char('a' + t)));
                            if (!query.exec())
                                errors->append(query.lastError().text());
                        }
                        if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM w")) || !count.next())
                            errors->append(count.lastError().text());
                        count.finish();
                        if (!db.commit())
                            errors->append(db.lastError().text());
                    }
                    db.close();
                }
                QSqlDatabase::removeDatabase(connection);
            }));
        }
        for (QThread *thread : std::as_const(threads))
            thread->start();
        for (QThread *thread : std::as_const(threads)) {
            QVERIFY(thread->wait(120000));
            delete thread;
        }
        for (int t = 0; t < Threads; ++t)
            QVERIFY2(failures[t].isEmpty(), qPrintable(failures[t].join(QLatin1Char('\n'))));

        QSqlDatabase db = open(file, options);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT thread, COUNT(*) FROM w GROUP BY thread ORDER BY thread")));
        for (int t = 0; t < Threads; ++t) {
            QVERIFY(query.next());
            QCOMPARE(query.value(1).toInt(), Transactions * 5);
        }
    }

    // In WAL mode a reader sees the last committed state while another connection writes.
    void readerDuringWrite()
    {
        QSqlDatabase writer = open(QStringLiteral("wal.db"));
        QSqlDatabase reader = open(QStringLiteral("wal.db"), QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY(writer.open() && reader.open());
        QSqlQuery w(writer);
        QVERIFY(w.exec(QStringLiteral("CREATE TABLE v (x INTEGER)")));
        QVERIFY(w.exec(QStringLiteral("INSERT INTO v VALUES (1)")));
        QVERIFY(writer.transaction());
        QVERIFY(w.exec(QStringLiteral("INSERT INTO v VALUES (2)")));
        QSqlQuery r(reader);
        QVERIFY2(r.exec(QStringLiteral("SELECT COUNT(*) FROM v")) && r.next(), qPrintable(r.lastError().text()));
        QCOMPARE(r.value(0).toInt(), 1);
        r.finish();
        QVERIFY(writer.commit());
        QVERIFY(r.exec(QStringLiteral("SELECT COUNT(*) FROM v")) && r.next());
        QCOMPARE(r.value(0).toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(SqliteDriverTest)
#include "tst_sqlitedriver.moc"
