#include "gpsjpegwriter.h"
#include "pixmeta.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

class TestPixmeta : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void gpsTags_data();
    void gpsTags();
    void damagedFiles_data();
    void damagedFiles();
    void truncatedAtEveryLength();
    void sharedPhotos();

private:
    QTemporaryDir m_dir;
};

void TestPixmeta::initTestCase()
{
    QVERIFY(m_dir.isValid());
    initializeExiv2();
}

void TestPixmeta::cleanupTestCase()
{
    cleanupExiv2();
}

void TestPixmeta::gpsTags_data()
{
    QTest::addColumn<QString>("latRef");
    QTest::addColumn<QString>("lat");
    QTest::addColumn<QString>("lonRef");
    QTest::addColumn<QString>("lon");
    QTest::addColumn<QString>("altRef");
    QTest::addColumn<QString>("alt");
    QTest::addColumn<bool>("hasPosition");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("altitude"); // NaN: none

    const double none = std::nan("");
    QTest::newRow("north east above sea")
        << "N" << "50/1 17/1 5857/100" << "E" << "14/1 49/1 1306/100" << "0" << "25200/100"
        << true << 50.29960278 << 14.82029444 << 252.0;
    QTest::newRow("south west below sea")
        << "S" << "33/1 52/1 0/1" << "W" << "70/1 30/1 36/1" << "1" << "80/10"
        << true << -33.86666667 << -70.51 << -8.0;
    QTest::newRow("altitude without reference is above sea")
        << "N" << "37/1 448059/10000 0/1" << "W" << "119/1 31793/1000 0/1" << "" << "19600000/10000"
        << true << 37.746765 << -119.52988333 << 1960.0;
    QTest::newRow("reference without altitude")
        << "N" << "43/1 28/1 176399999/100000000" << "E" << "11/1 53/1 742199999/100000000" << "0" << ""
        << true << 43.46715667 << 11.885395 << none;
    QTest::newRow("decimal minutes, unset seconds")
        << "S" << "0/1 22278/1000 0/0" << "E" << "36/1 3385/1000 0/0" << "" << ""
        << true << -0.3713 << 36.05641667 << none;
    QTest::newRow("altitude over zero is dropped")
        << "N" << "1/1 0/1 0/1" << "E" << "2/1 0/1 0/1" << "0" << "5/0"
        << true << 1.0 << 2.0 << none;
    QTest::newRow("no gps") << "" << "" << "" << "" << "" << "" << false << 0.0 << 0.0 << none;
    QTest::newRow("latitude only") << "N" << "50/1 0/1 0/1" << "" << "" << "" << ""
                                   << false << 0.0 << 0.0 << none;
    QTest::newRow("latitude beyond the pole") << "N" << "91/1 0/1 0/1" << "E" << "2/1 0/1 0/1" << "" << ""
                                              << false << 0.0 << 0.0 << none;
    QTest::newRow("minutes over zero") << "N" << "50/1 3/0 0/1" << "E" << "2/1 0/1 0/1" << "" << ""
                                       << false << 0.0 << 0.0 << none;
}

void TestPixmeta::gpsTags()
{
    QFETCH(QString, latRef);
    QFETCH(QString, lat);
    QFETCH(QString, lonRef);
    QFETCH(QString, lon);
    QFETCH(QString, altRef);
    QFETCH(QString, alt);
    QFETCH(bool, hasPosition);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, altitude);

    const QString path = m_dir.filePath(QStringLiteral("%1.jpg").arg(QTest::currentDataTag()));
    QString error;
    QVERIFY2(GpsJpegWriter::write(path, {latRef, lat, lonRef, lon, altRef, alt}, &error), qPrintable(error));

    Pixmeta meta;
    QVERIFY2(meta.load(path), qPrintable(meta.lastError()));
    double gotAlt = 0, gotLat = 0, gotLon = 0;
    QCOMPARE(meta.getGPSInfo(gotAlt, gotLat, gotLon), hasPosition);
    if (!hasPosition) {
        return;
    }
    QVERIFY(std::abs(gotLat - latitude) < 1e-6);
    QVERIFY(std::abs(gotLon - longitude) < 1e-6);
    if (std::isnan(altitude)) {
        QVERIFY2(std::isnan(gotAlt), qPrintable(QString::number(gotAlt)));
    } else {
        QVERIFY(std::abs(gotAlt - altitude) < 0.1);
    }
}

void TestPixmeta::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("this is not an image\n");
    QTest::newRow("jpeg marker only") << QByteArray("\xff\xd8\xff", 3);
    QTest::newRow("exif segment longer than file") << QByteArray("\xff\xd8\xff\xe1\xff\xf0""Exif\0\0II*\0", 18);
}

void TestPixmeta::damagedFiles()
{
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(QStringLiteral("damaged.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    Pixmeta meta;
    double alt, lat, lon;
    if (meta.load(path)) {
        QVERIFY(!meta.getGPSInfo(alt, lat, lon));
    } else {
        QVERIFY(!meta.lastError().isEmpty());
    }
    QVERIFY(!meta.load(m_dir.filePath(QStringLiteral("missing.jpg"))));
    QVERIFY(meta.lastError().contains(QLatin1String("missing.jpg")));
    QVERIFY(!meta.getGPSInfo(alt, lat, lon));
}

// A tagged photo cut at any point either loads with its full position or fails cleanly.
void TestPixmeta::truncatedAtEveryLength()
{
    const QString source = m_dir.filePath(QStringLiteral("whole.jpg"));
    QVERIFY(GpsJpegWriter::write(source, {"N", "50/1 17/1 5857/100", "E", "14/1 49/1 1306/100", "0", "252/1"}));
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray whole = in.readAll();
    const QString path = m_dir.filePath(QStringLiteral("cut.jpg"));
    int withPosition = 0;
    for (int length = 0; length < whole.size(); length += 3) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(whole.left(length));
        out.close();
        Pixmeta meta;
        double alt = 0, lat = 0, lon = 0;
        if (meta.load(path) && meta.getGPSInfo(alt, lat, lon)) {
            ++withPosition;
            QVERIFY(std::abs(lat - 50.29960278) < 1e-6);
            QVERIFY(std::abs(lon - 14.82029444) < 1e-6);
        }
    }
    // Cuts after the metadata still yield the position.
    QVERIFY(withPosition > 0);
}

void TestPixmeta::sharedPhotos()
{
    const QString dir = qEnvironmentVariable("TALVORI_SHARED_DIR") + QStringLiteral("/testdata/images");
    QFile table(dir + QStringLiteral("/EXPECTED.tsv"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QSKIP("The shared test photos (testdata/images/EXPECTED.tsv) are not here");
    }
    table.readLine(); // header
    int rows = 0;
    while (!table.atEnd()) {
        const QStringList cols = QString::fromUtf8(table.readLine()).chopped(1).split(QLatin1Char('\t'));
        if (cols.size() < 4) {
            continue;
        }
        ++rows;
        const QString name = cols[0];
        Pixmeta meta;
        double alt = 0, lat = 0, lon = 0;
        const bool has = meta.load(dir + QLatin1Char('/') + name) && meta.getGPSInfo(alt, lat, lon);
        QVERIFY2(has == !cols[1].isEmpty(), qPrintable(name));
        if (!has) {
            continue;
        }
        QVERIFY2(std::abs(lat - cols[1].toDouble()) < 1e-6, qPrintable(name));
        QVERIFY2(std::abs(lon - cols[2].toDouble()) < 1e-6, qPrintable(name));
        if (cols[3].isEmpty()) {
            QVERIFY2(std::isnan(alt), qPrintable(name));
        } else {
            QVERIFY2(std::abs(alt - cols[3].toDouble()) < 0.1, qPrintable(name));
        }
    }
    QVERIFY(rows >= 10);
}

QTEST_GUILESS_MAIN(TestPixmeta)
#include "tst_pixmeta.moc"
