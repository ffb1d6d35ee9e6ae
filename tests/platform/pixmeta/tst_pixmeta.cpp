#include "gpsjpegwriter.h"
#include "heifwriter.h"
#include "pixmeta.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// Reads the position of the file; false with a message when it has none or differs.
bool hasPosition(const QString &path, double latitude, double longitude, double altitude, QString *problem)
{
    Pixmeta meta;
    if (!meta.load(path)) {
        *problem = meta.lastError();
        return false;
    }
    double gotAlt = 0, gotLat = 0, gotLon = 0;
    if (!meta.getGPSInfo(gotAlt, gotLat, gotLon)) {
        *problem = QStringLiteral("no position");
        return false;
    }
    const bool altitudeMatches = std::isnan(altitude) ? std::isnan(gotAlt) : std::abs(gotAlt - altitude) < 0.1;
    if (std::abs(gotLat - latitude) > 1e-6 || std::abs(gotLon - longitude) > 1e-6 || !altitudeMatches) {
        *problem = QStringLiteral("position %1, %2, %3").arg(gotLat, 0, 'f', 8).arg(gotLon, 0, 'f', 8).arg(gotAlt);
        return false;
    }
    return true;
}

// Degrees from rationals as "exiv2 -pv" prints them ("39/1 3/1 484/100").
double degreesFromRationalText(const QString &text)
{
    double result = 0.0;
    double unit = 1.0;
    for (const QString &part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList fraction = part.split(QLatin1Char('/'));
        result += fraction.value(0).toDouble() / fraction.value(1).toDouble() / unit;
        unit *= 60.0;
    }
    return result;
}

} // namespace

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
    void xmpFallback_data();
    void xmpFallback();
    void heif_data();
    void heif();
    void unsupportedFormats_data();
    void unsupportedFormats();
    void sharedPhotos();
    void sharedHeicPhoto();

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
    // Some cameras write every part as 0/0 and leave the references empty when they have no fix.
    QTest::newRow("all unset, no references") << "" << "0/0 0/0 0/0" << "" << "0/0 0/0 0/0" << "" << ""
                                              << false << 0.0 << 0.0 << none;
    QTest::newRow("all unset, with references") << "N" << "0/0 0/0 0/0" << "E" << "0/0 0/0 0/0" << "0" << "0/0"
                                                << false << 0.0 << 0.0 << none;
    QTest::newRow("no references") << "" << "50/1 17/1 5857/100" << "" << "14/1 49/1 1306/100" << "" << ""
                                   << false << 0.0 << 0.0 << none;
    QTest::newRow("no longitude reference") << "N" << "50/1 17/1 5857/100" << "" << "14/1 49/1 1306/100" << "" << ""
                                            << false << 0.0 << 0.0 << none;
    QTest::newRow("reference that is no direction") << "N" << "50/1 17/1 5857/100" << "X" << "14/1 49/1 1306/100" << "" << ""
                                                    << false << 0.0 << 0.0 << none;
    QTest::newRow("lower-case references") << "s" << "33/1 52/1 0/1" << "w" << "70/1 30/1 36/1" << "" << ""
                                           << true << -33.86666667 << -70.51 << none;
    // An unset part counts as zero in its own unit: the next part stays minutes, or seconds.
    QTest::newRow("unset degrees keep the minutes") << "N" << "0/0 30/1 0/1" << "E" << "0/0 45/1 0/0" << "" << ""
                                                    << true << 0.5 << 0.75 << none;
    QTest::newRow("unset minutes keep the seconds") << "S" << "10/1 0/0 36/1" << "E" << "20/1 0/0 0/0" << "" << ""
                                                    << true << -10.01 << 20.0 << none;
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
    QTest::newRow("exif segment longer than file") << QByteArray("\xff\xd8\xff\xe1\xff\xf0""Exif\0\0II*\0", 16);
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

// Programs that edit a photo's position often write it to XMP only: with no position in EXIF, the
// XMP one counts; with one in EXIF, EXIF wins.
void TestPixmeta::xmpFallback_data()
{
    QTest::addColumn<GpsTags>("tags");
    QTest::addColumn<bool>("hasPosition");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("altitude");
    const double none = std::nan("");
    GpsTags minutes;
    minutes.xmpLatitude = QStringLiteral("50,17.976N");
    minutes.xmpLongitude = QStringLiteral("14,49.2176E");
    minutes.xmpAltitude = QStringLiteral("25200/100");
    minutes.xmpAltitudeRef = QStringLiteral("0");
    QTest::newRow("degrees and decimal minutes") << minutes << true << 50.2996 << 14.82029333 << 252.0;
    GpsTags seconds;
    seconds.xmpLatitude = QStringLiteral("33,52,0S");
    seconds.xmpLongitude = QStringLiteral("70,30,36W");
    seconds.xmpAltitude = QStringLiteral("80/10");
    seconds.xmpAltitudeRef = QStringLiteral("1");
    QTest::newRow("degrees, minutes, seconds, south-west, below sea") << seconds << true << -33.86666667 << -70.51 << -8.0;
    GpsTags withoutAltitude = seconds;
    withoutAltitude.xmpAltitude.clear();
    QTest::newRow("no altitude") << withoutAltitude << true << -33.86666667 << -70.51 << none;
    GpsTags unsetExif = minutes;
    unsetExif.latitude = QStringLiteral("0/0 0/0 0/0");
    unsetExif.longitude = QStringLiteral("0/0 0/0 0/0");
    QTest::newRow("EXIF all unset") << unsetExif << true << 50.2996 << 14.82029333 << 252.0;
    GpsTags both = minutes;
    both.latitudeRef = QStringLiteral("N");
    both.latitude = QStringLiteral("1/1 0/1 0/1");
    both.longitudeRef = QStringLiteral("E");
    both.longitude = QStringLiteral("2/1 0/1 0/1");
    QTest::newRow("EXIF wins") << both << true << 1.0 << 2.0 << none;
    GpsTags noDirection = minutes;
    noDirection.xmpLatitude = QStringLiteral("50,17.976");
    QTest::newRow("no direction") << noDirection << false << 0.0 << 0.0 << none;
    GpsTags garbage = minutes;
    garbage.xmpLongitude = QStringLiteral("14,xx,1E");
    QTest::newRow("not a number") << garbage << false << 0.0 << 0.0 << none;
    GpsTags beyond = minutes;
    beyond.xmpLatitude = QStringLiteral("95,0N");
    QTest::newRow("beyond the pole") << beyond << false << 0.0 << 0.0 << none;
}

void TestPixmeta::xmpFallback()
{
    QFETCH(GpsTags, tags);
    QFETCH(bool, hasPosition);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, altitude);
    const QString path = m_dir.filePath(QStringLiteral("xmp-%1.jpg").arg(QTest::currentDataTag()));
    QString error;
    QVERIFY2(GpsJpegWriter::write(path, tags, &error), qPrintable(error));
    QString problem;
    QCOMPARE(::hasPosition(path, latitude, longitude, altitude, &problem), hasPosition);
    if (!hasPosition)
        QCOMPARE(problem, QStringLiteral("no position"));
}

// Phones write HEIF (HEIC) photos, some cameras AVIF; their EXIF sits in an item of the container.
void TestPixmeta::heif_data()
{
    QTest::addColumn<QByteArray>("brand");
    QTest::addColumn<GpsTags>("tags");
    QTest::addColumn<bool>("hasPosition");
    const GpsTags prague { "N", "50/1 17/1 5857/100", "E", "14/1 49/1 1306/100", "0", "25200/100" };
    QTest::newRow("HEIC") << QByteArray("heic") << prague << true;
    QTest::newRow("HEIF") << QByteArray("mif1") << prague << true;
    QTest::newRow("AVIF") << QByteArray("avif") << prague << true;
    QTest::newRow("HEIC without GPS") << QByteArray("heic") << GpsTags() << false;
    QTest::newRow("HEIC, all unset") << QByteArray("heic") << GpsTags { "", "0/0 0/0 0/0", "", "0/0 0/0 0/0", "", "" } << false;
}

void TestPixmeta::heif()
{
    QFETCH(QByteArray, brand);
    QFETCH(GpsTags, tags);
    QFETCH(bool, hasPosition);
    const QString path = m_dir.filePath(QStringLiteral("%1.heic").arg(QTest::currentDataTag()));
    QString error;
    QVERIFY2(HeifWriter::write(path, tags, brand, &error), qPrintable(error));
    QString problem;
    const bool found = ::hasPosition(path, 50.29960278, 14.82029444, 252.0, &problem);
    QVERIFY2(found == hasPosition, qPrintable(problem));
    if (!hasPosition) {
        // The file itself is read; it only has no position.
        Pixmeta meta;
        QVERIFY2(meta.load(path), qPrintable(meta.lastError()));
    }
}

void TestPixmeta::unsupportedFormats_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("message");
    QTest::newRow("BigTIFF, little-endian") << QByteArray("II\x2b\0\x08\0\0\0\x10\0\0\0\0\0\0\0", 16)
                                            << "is a BigTIFF file, which libexiv2 cannot read";
    QTest::newRow("BigTIFF, big-endian") << QByteArray("MM\0\x2b\0\x08\0\0\0\0\0\0\0\0\0\x10", 16)
                                         << "is a BigTIFF file, which libexiv2 cannot read";
    QTest::newRow("text") << QByteArray("lat,lon\n50.1,14.2\n") << "is no kind of file libexiv2 can read";
}

void TestPixmeta::unsupportedFormats()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(QStringLiteral("unsupported.tif"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    // Real files are large; a short one fails earlier, as a damaged file.
    file.write(head + QByteArray(4096, '\0'));
    file.close();
    Pixmeta meta;
    QVERIFY(!meta.load(path));
    QCOMPARE(meta.lastError(), QStringLiteral("Unsupported format: %1 %2").arg(path, message));
    double alt, lat, lon;
    QVERIFY(!meta.getGPSInfo(alt, lat, lon));
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

// A phone's HEIC photo: the position is the one in its EXPECTED row and the one the exiv2 program
// prints for it.
void TestPixmeta::sharedHeicPhoto()
{
    const QString dir = qEnvironmentVariable("TALVORI_SHARED_DIR") + QStringLiteral("/testdata/images");
    QFile table(dir + QStringLiteral("/EXPECTED-heif.tsv"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QSKIP("The shared HEIC photo (testdata/images/IMG_5195.HEIC, EXPECTED-heif.tsv) is not here");
    }
    table.readLine(); // header
    const QStringList row = QString::fromUtf8(table.readLine()).chopped(1).split(QLatin1Char('\t'));
    QCOMPARE(row.value(0), QStringLiteral("IMG_5195.HEIC"));
    const QString path = dir + QLatin1Char('/') + row[0];
    QString problem;
    QVERIFY2(hasPosition(path, row[1].toDouble(), row[2].toDouble(), row[3].toDouble(), &problem), qPrintable(problem));

    const QString exiv2 = QStandardPaths::findExecutable(QStringLiteral("exiv2"));
    if (exiv2.isEmpty()) {
        QSKIP("The exiv2 program is not installed");
    }
    QProcess process;
    process.start(exiv2, { QStringLiteral("-Pkv"), QStringLiteral("-g"), QStringLiteral("GPSLatitude"), QStringLiteral("-g"),
                           QStringLiteral("GPSLongitude"), path });
    QVERIFY(process.waitForFinished(30000));
    // The pattern finds the references too ("N", "W" as raw values).
    QHash<QString, QString> printed;
    for (const QString &line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        printed.insert(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1).trimmed());
    const double latitude = degreesFromRationalText(printed.value(QStringLiteral("Exif.GPSInfo.GPSLatitude")))
        * (printed.value(QStringLiteral("Exif.GPSInfo.GPSLatitudeRef")).startsWith(QLatin1Char('S')) ? -1 : 1);
    const double longitude = degreesFromRationalText(printed.value(QStringLiteral("Exif.GPSInfo.GPSLongitude")))
        * (printed.value(QStringLiteral("Exif.GPSInfo.GPSLongitudeRef")).startsWith(QLatin1Char('W')) ? -1 : 1);
    QVERIFY2(latitude != 0 && longitude != 0, "exiv2 printed no position");
    QVERIFY2(hasPosition(path, latitude, longitude, row[3].toDouble(), &problem), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestPixmeta)
#include "tst_pixmeta.moc"
