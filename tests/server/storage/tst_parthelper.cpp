#include "teststorage.h"

#include "common/exception.h"
#include "storage/datastore.h"
#include "storage/dbconfig.h"
#include "storage/entities.h"
#include "storage/parthelper.h"
#include "storage/payloadwriter.h"
#include "storage/selectquerybuilder.h"
#include "storage/transaction.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <cstdlib>

using namespace Talvori;

namespace {

const char crashArgument[] = "--append-and-crash";

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class PartHelperTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void insertDecidesByThreshold_data();
    void insertDecidesByThreshold();
    void rewriteMakesNewRevision();
    void updateWithoutPart();
    void truncate();
    void translateMissingFile();
    void removeAllPartsOfItem();
    void insertCopy_data();
    void insertCopy();
    void streamedPayloads_data();
    void streamedPayloads();
    void rollbackLeavesNoFile();
    void rollbackKeepsFileOfRestoredRow();
    void crashBeforeCommit();

private:
    Part newPart(const QByteArray &data, const QString &name = QStringLiteral("PLD:RFC822"));

    TestStorage m_storage;
    PimItem m_item;
    int m_partCounter = 0;
};

void PartHelperTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    QCOMPARE(DbConfig::configuredDatabase()->sizeThreshold(), qint64(4096));
    QVERIFY(DbConfig::configuredDatabase()->useExternalPayloadFile());
    m_item.setRemoteId(QStringLiteral("parthelpertest"));
    QVERIFY(m_item.insert());
}

Part PartHelperTest::newPart(const QByteArray &data, const QString &name)
{
    Part part;
    part.setPimItemId(m_item.id());
    part.setName(name + QString::number(++m_partCounter));
    part.setData(data);
    part.setDatasize(data.size());
    return part;
}

void PartHelperTest::insertDecidesByThreshold_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("external");
    QTest::newRow("empty") << 0 << false;
    QTest::newRow("threshold") << 4096 << false;
    QTest::newRow("threshold + 1") << 4097 << true;
    QTest::newRow("1 MiB") << 1024 * 1024 << true;
}

void PartHelperTest::insertDecidesByThreshold()
{
    QFETCH(int, size);
    QFETCH(bool, external);

    QByteArray payload(size, 'p');
    if (size > 0) {
        payload[size - 1] = '\0';
    }
    Part part = newPart(payload);
    qint64 id = -1;
    QVERIFY(PartHelper::insert(&part, &id));
    QCOMPARE(id, part.id());

    const Part stored = Part::retrieveById(id);
    QCOMPARE(stored.external(), external);
    QCOMPARE(stored.datasize(), qint64(size));
    QCOMPARE(PartHelper::translateData(stored), payload);
    if (external) {
        const QString expected = PartHelper::storagePath() + QLatin1Char('/') + QString::number(id) + QLatin1String("_r0");
        QCOMPARE(QString::fromUtf8(stored.data()), expected);
        QCOMPARE(readFile(expected), payload);
        QVERIFY(expected.contains(QLatin1String("/talvori/file_db_data/")));
    } else {
        QCOMPARE(stored.data(), payload);
    }
}

void PartHelperTest::rewriteMakesNewRevision()
{
    Part part = newPart(QByteArray(5000, 'a'));
    QVERIFY(PartHelper::insert(&part));
    const QString base = PartHelper::fileNameForId(part.id());
    QVERIFY(QFile::exists(base + QLatin1String("_r0")));

    const QByteArray second(6000, 'b');
    PartHelper::update(&part, second, second.size());
    QCOMPARE(QString::fromUtf8(Part::retrieveById(part.id()).data()), base + QLatin1String("_r1"));
    QCOMPARE(readFile(base + QLatin1String("_r1")), second);
    QVERIFY(!QFile::exists(base + QLatin1String("_r0")));

    // A payload streamed in pieces becomes the next revision the same way.
    PayloadWriter writer(7000);
    for (int i = 0; i < 7; ++i)
        QVERIFY(writer.write(QByteArray(1000, 'c')));
    PartHelper::update(&part, writer);
    const Part streamed = Part::retrieveById(part.id());
    QCOMPARE(QString::fromUtf8(streamed.data()), base + QLatin1String("_r2"));
    QCOMPARE(streamed.datasize(), qint64(7000));
    QCOMPARE(readFile(base + QLatin1String("_r2")), QByteArray(7000, 'c'));
    QVERIFY(!QFile::exists(base + QLatin1String("_r1")));

    // A small payload moves back into the row.
    PartHelper::update(&part, "small", 5);
    const Part inRow = Part::retrieveById(part.id());
    QVERIFY(!inRow.external());
    QCOMPARE(inRow.data(), QByteArray("small"));
    QCOMPARE(inRow.datasize(), qint64(5));
    QVERIFY(!QFile::exists(base + QLatin1String("_r2")));

    // And out again, starting at revision 0.
    PartHelper::update(&part, second, second.size());
    QCOMPARE(QString::fromUtf8(Part::retrieveById(part.id()).data()), base + QLatin1String("_r0"));
}

void PartHelperTest::updateWithoutPart()
{
    try {
        PartHelper::update(nullptr, "x", 1);
        QFAIL("no exception");
    } catch (const PartHelperException &e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("Invalid part"));
        QCOMPARE(QByteArray(e.type()), QByteArray("PartHelperException"));
    }
    QVERIFY(!PartHelper::insert(nullptr));
    QVERIFY(!PartHelper::remove(nullptr));
}

void PartHelperTest::truncate()
{
    Part part = newPart(QByteArray(8000, 't'));
    QVERIFY(PartHelper::insert(&part));
    const QString file = QString::fromUtf8(part.data());
    QVERIFY(QFile::exists(file));

    QVERIFY(PartHelper::truncate(part));
    QVERIFY(!QFile::exists(file));
    const Part stored = Part::retrieveById(part.id());
    QVERIFY(stored.data().isEmpty());
    QCOMPARE(stored.datasize(), qint64(0));
    QVERIFY(stored.external()); // left as it was
    QVERIFY(PartHelper::translateData(stored).isEmpty());
}

void PartHelperTest::translateMissingFile()
{
    const QString missing = PartHelper::storagePath() + QLatin1String("/missing_r0");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Payload file .*missing_r0.* could not be open for reading!$")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error: ")));
    QVERIFY(PartHelper::translateData(missing.toUtf8(), true).isEmpty());
    QCOMPARE(PartHelper::translateData("in the row", false), QByteArray("in the row"));
}

void PartHelperTest::removeAllPartsOfItem()
{
    PimItem item;
    item.setRemoteId(QStringLiteral("remove-all"));
    QVERIFY(item.insert());
    QStringList files;
    for (int size : {10, 5000, 9000}) {
        Part part = newPart(QByteArray(size, 'r'));
        part.setPimItemId(item.id());
        QVERIFY(PartHelper::insert(&part));
        if (part.external()) {
            files.append(QString::fromUtf8(part.data()));
        }
    }
    QCOMPARE(files.size(), 2);
    const Part other = [&] {
        Part p = newPart(QByteArray(5000, 'o'));
        PartHelper::insert(&p);
        return p;
    }();

    QVERIFY(PartHelper::remove(Part::pimItemIdColumn(), item.id()));
    QCOMPARE(Part::count(Part::pimItemIdColumn(), item.id()), 0);
    for (const QString &file : files) {
        QVERIFY(!QFile::exists(file));
    }
    QVERIFY(QFile::exists(QString::fromUtf8(other.data())));
}

void PartHelperTest::insertCopy_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("sourceExternal");
    QTest::addColumn<bool>("fileMissing");
    QTest::addColumn<bool>("copyExternal");

    QTest::newRow("in the row") << 100 << false << false << false;
    QTest::newRow("in a file") << 9000 << true << false << true;
    // Written to a file under a smaller threshold: the copy follows today's.
    QTest::newRow("small, in a file") << 100 << true << false << false;
    QTest::newRow("file missing") << 9000 << true << true << false;
}

void PartHelperTest::insertCopy()
{
    QFETCH(int, size);
    QFETCH(bool, sourceExternal);
    QFETCH(bool, fileMissing);
    QFETCH(bool, copyExternal);

    const QByteArray payload(size, 'c');
    const QString sourceFile = PartHelper::storagePath() + QStringLiteral("/copysource%1_r0").arg(++m_partCounter);
    Part source = newPart(payload);
    if (sourceExternal) {
        QFile file(sourceFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(payload), qint64(size));
        source.setData(sourceFile.toUtf8());
        source.setExternal(true);
    }
    if (fileMissing)
        QVERIFY(QFile::remove(sourceFile));

    DataStore *store = DataStore::self();
    Transaction transaction(store);
    Part copy;
    copy.setPimItemId(m_item.id());
    copy.setName(source.name() + QLatin1String("-copy"));
    if (fileMissing) {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Insert: payload file .* could not be written to!$")));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error: .*")));
        QVERIFY(!PartHelper::insertCopy(&copy, source));
        return;
    }
    QVERIFY(PartHelper::insertCopy(&copy, source));
    QVERIFY(transaction.commit());

    const Part stored = Part::retrieveById(copy.id());
    QCOMPARE(stored.external(), copyExternal);
    QCOMPARE(stored.datasize(), qint64(size));
    QCOMPARE(PartHelper::translateData(stored), payload);
    if (copyExternal)
        QVERIFY(QString::fromUtf8(stored.data()) != sourceFile);
    if (sourceExternal)
        QCOMPARE(readFile(sourceFile), payload);
}

void PartHelperTest::streamedPayloads_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("ending"); // commit, rollback, or the writer goes unused
    QTest::addColumn<bool>("external");
    for (const char *ending : {"commit", "rollback", "unused"}) {
        QTest::newRow(QByteArray("threshold, ") + ending) << 4096 << ending << false;
        QTest::newRow(QByteArray("threshold + 1, ") + ending) << 4097 << ending << true;
        QTest::newRow(QByteArray("3 MiB, ") + ending) << 3 * 1024 * 1024 << ending << true;
    }
}

// Where the bytes of a streamed payload are while they arrive, where they end up, and that
// nothing is left behind when the command rolls back or never gets to store them.
void PartHelperTest::streamedPayloads()
{
    QFETCH(int, size);
    QFETCH(QString, ending);
    QFETCH(bool, external);

    const QDir directory(PartHelper::storagePath());
    const QStringList before = directory.entryList(QDir::Files);
    QByteArray payload(size, '\0');
    for (int i = 0; i < size; ++i)
        payload[i] = char(i * 13 + i / 4096);

    qint64 id = -1;
    {
        Transaction transaction(DataStore::self());
        PayloadWriter writer(size);
        QCOMPARE(writer.hasFile(), external);
        for (int offset = 0; offset < size; offset += 4096)
            QVERIFY(writer.write(payload.mid(offset, 4096)));
        QCOMPARE(writer.writtenSize(), qint64(size));
        if (ending != QLatin1String("unused")) {
            Part part = newPart(QByteArray());
            part.setDatasize(0);
            QVERIFY(PartHelper::insert(&part, writer));
            id = part.id();
            if (ending == QLatin1String("commit"))
                QVERIFY(transaction.commit());
        }
    }

    if (ending != QLatin1String("commit")) {
        QVERIFY(id < 0 || !Part::retrieveById(id).isValid());
        QCOMPARE(directory.entryList(QDir::Files), before);
        return;
    }
    const Part stored = Part::retrieveById(id);
    QCOMPARE(stored.external(), external);
    QCOMPARE(stored.datasize(), qint64(size));
    QVERIFY(PartHelper::translateData(stored) == payload);
    QStringList expected = before;
    if (external) {
        QCOMPARE(QString::fromUtf8(stored.data()), PartHelper::fileNameForId(id) + QLatin1String("_r0"));
        expected.append(QString::number(id) + QLatin1String("_r0"));
    }
    QStringList after = directory.entryList(QDir::Files);
    after.sort();
    expected.sort();
    QCOMPARE(after, expected);
}

void PartHelperTest::rollbackLeavesNoFile()
{
    const QStringList before = QDir(PartHelper::storagePath()).entryList(QDir::Files);
    qint64 id = -1;
    {
        Transaction transaction(DataStore::self());
        Part part = newPart(QByteArray(10000, 'x'));
        QVERIFY(PartHelper::insert(&part));
        id = part.id();
        PartHelper::update(&part, QByteArray(20000, 'y'), 20000);
    }
    QVERIFY(!Part::retrieveById(id).isValid());
    QCOMPARE(QDir(PartHelper::storagePath()).entryList(QDir::Files), before);
}

void PartHelperTest::rollbackKeepsFileOfRestoredRow()
{
    Part part = newPart(QByteArray(10000, 'k'));
    QVERIFY(PartHelper::insert(&part));
    const QString file = QString::fromUtf8(part.data());
    {
        Transaction transaction(DataStore::self());
        Part rewritten = part;
        PartHelper::update(&rewritten, QByteArray(12000, 'n'), 12000);
        QVERIFY(PartHelper::remove(&rewritten));
        QVERIFY(QFile::exists(file)); // not before the commit
    }
    // The restored row still finds its payload.
    const Part restored = Part::retrieveById(part.id());
    QCOMPARE(QString::fromUtf8(restored.data()), file);
    QCOMPARE(PartHelper::translateData(restored), QByteArray(10000, 'k'));
    QVERIFY(!QFile::exists(PartHelper::fileNameForId(part.id()) + QLatin1String("_r1")));

    Transaction transaction(DataStore::self());
    QVERIFY(PartHelper::remove(&part));
    QVERIFY(transaction.commit());
    QVERIFY(!QFile::exists(file));
}

void PartHelperTest::crashBeforeCommit()
{
    // Another process writes an item with an external part and dies before its commit.
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QLatin1String(crashArgument)});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 3);
    const qint64 crashedPartId = child.readAllStandardOutput().trimmed().toLongLong();
    QVERIFY(crashedPartId > 0);

    QVERIFY(!Part::retrieveById(crashedPartId).isValid());
    SelectQueryBuilder<Part> qb;
    qb.addValueCondition(Part::externalColumn(), Query::Equals, true);
    QVERIFY(qb.exec());
    const QList<Part> externalParts = qb.result();
    QVERIFY(!externalParts.isEmpty());
    for (const Part &part : externalParts) {
        if (part.datasize() > 0) {
            QVERIFY2(QFile::exists(QString::fromUtf8(part.data())), part.data().constData());
        }
    }
}

// The child of crashBeforeCommit(): same settings, same database, no commit.
static int appendAndCrash()
{
    QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    DbConfig::configuredDatabase()->init(settings);
    DataStore *store = DataStore::self();
    if (!store->isOpened() || !store->beginTransaction()) {
        return 1;
    }
    PimItem item;
    item.setRemoteId(QStringLiteral("crashed"));
    if (!item.insert()) {
        return 1;
    }
    Part part;
    part.setPimItemId(item.id());
    part.setName(QStringLiteral("PLD:RFC822"));
    part.setData(QByteArray(20000, 'z'));
    part.setDatasize(20000);
    if (!PartHelper::insert(&part) || !QFile::exists(QString::fromUtf8(part.data()))) {
        return 1;
    }
    std::printf("%lld\n", part.id());
    std::fflush(stdout);
    std::_Exit(3);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], crashArgument) == 0) {
        return appendAndCrash();
    }
    PartHelperTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_parthelper.moc"
