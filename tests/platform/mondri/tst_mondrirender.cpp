// mondri-render as its users run it: real files in, PNGs out, and clear errors for bad input.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestMondriRender : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rendersWithOptions();
    void realFiles_data();
    void realFiles();
    void failures_data();
    void failures();
    void badElementsAreSkipped();
    void pointsWithNames();

private:
    int run(const QStringList &arguments, QByteArray *errors = nullptr);
    QString write(const QString &name, const QByteArray &content);

    QString m_program;
    QTemporaryDir m_dir;
};

void TestMondriRender::initTestCase()
{
    m_program = QDir(qEnvironmentVariable("TALVORI_BUILD_DIR")).filePath(QStringLiteral("bin/mondri-render"));
    QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
    QVERIFY(m_dir.isValid());
}

int TestMondriRender::run(const QStringList &arguments, QByteArray *errors)
{
    QProcess process;
    process.start(m_program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    if (errors)
        *errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString TestMondriRender::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestMondriRender::rendersWithOptions()
{
    // A red square in the west half of a 20 by 10 degree box, outlined in blue.
    const QString input = write(QStringLiteral("square.kml"), R"(<kml><Document>
<Style id="s"><LineStyle><color>ffff0000</color><width>1</width></LineStyle><PolyStyle><color>ff0000ff</color></PolyStyle></Style>
<Placemark><styleUrl>#s</styleUrl><Polygon><outerBoundaryIs><LinearRing>
<coordinates>2,2 8,2 8,8 2,8 2,2</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark></Document></kml>)");
    const QString output = m_dir.filePath(QStringLiteral("square.png"));
    QByteArray errors;
    QCOMPARE(run({ input, QStringLiteral("-o"), output, QStringLiteral("--size"), QStringLiteral("200x100"),
                   QStringLiteral("--bbox"), QStringLiteral("0,0,20,10"), QStringLiteral("--background"),
                   QStringLiteral("#000000"), QStringLiteral("--quality"), QStringLiteral("print") }, &errors), 0);
    const QImage image(output);
    QCOMPARE(image.size(), QSize(200, 100));
    QCOMPARE(image.pixelColor(50, 50), QColor(Qt::red));
    QCOMPARE(image.pixelColor(150, 50), QColor(Qt::black));
    QCOMPARE(image.pixelColor(50, 10), QColor(Qt::black));
}

void TestMondriRender::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("quality");
    QTest::newRow("style maps, cascading styles") << "styles.kml" << "normal";
    QTest::newRow("ring, style URL without #") << "linear_ring.kml" << "high";
    QTest::newRow("nested multi-geometries") << "multigeometry_sibling.kml" << "print";
}

void TestMondriRender::realFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, quality);
    const QString shared = qEnvironmentVariable("TALVORI_SHARED_DIR");
    const QString input = QDir(shared).filePath(QStringLiteral("testdata/kml/") + file);
    if (shared.isEmpty() || !QFile::exists(input))
        QSKIP("the shared KML test files are not here (TALVORI_SHARED_DIR/testdata/kml)");
    const QString output = m_dir.filePath(file + QStringLiteral(".png"));
    QByteArray errors;
    QCOMPARE(run({ input, QStringLiteral("-o"), output, QStringLiteral("--quality"), quality }, &errors), 0);
    QVERIFY2(!errors.contains("mondri-render:"), errors.constData());
    const QImage image(output);
    QCOMPARE(image.size(), QSize(1024, 768));
    // Something was drawn: the content fills the view, so many pixels differ from the background.
    const QRgb background = image.pixel(0, 0);
    int drawn = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            drawn += image.pixel(x, y) != background;
    }
    QVERIFY2(drawn > 200, qPrintable(QString::number(drawn)));
}

void TestMondriRender::failures_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QByteArray good = "<kml><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></kml>";
    QTest::newRow("truncated") << QByteArray("<kml><Document><Placemark><LineString><coordinates>1,2 3,4")
                               << QStringList() << 1 << "Premature end of document";
    QTest::newRow("not xml") << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << QStringList() << 1 << "in.kml: line 1";
    QTest::newRow("empty") << QByteArray() << QStringList() << 1 << "the file is empty";
    QTest::newRow("missing file") << QByteArray() << QStringList { QStringLiteral("--input-missing") } << 1 << "No such file";
    QTest::newRow("bad size") << good << QStringList { QStringLiteral("--size"), QStringLiteral("0x10") } << 2 << "--size wants WxH";
    QTest::newRow("huge size") << good << QStringList { QStringLiteral("--size"), QStringLiteral("100000x10") } << 2 << "--size wants WxH";
    QTest::newRow("bad bbox") << good << QStringList { QStringLiteral("--bbox"), QStringLiteral("10,0,0,10") } << 2 << "--bbox wants";
    QTest::newRow("short bbox") << good << QStringList { QStringLiteral("--bbox"), QStringLiteral("1,2,3") } << 2 << "--bbox wants";
    QTest::newRow("bad quality") << good << QStringList { QStringLiteral("--quality"), QStringLiteral("best") } << 2 << "--quality wants";
    QTest::newRow("no plug-ins") << good << QStringList { QStringLiteral("--plugins"), QStringLiteral("/nonexistent") } << 1
                                 << "no render plug-ins in /nonexistent";
    QTest::newRow("unwritable output") << good << QStringList { QStringLiteral("--output-unwritable") } << 1 << "nodir";
    QTest::newRow("bad element, strict") << QByteArray("<kml><Placemark><Point><coordinates/></Point></Placemark></kml>")
                                         << QStringList { QStringLiteral("--strict") } << 1
                                         << "in.kml: line 1, column 17: a Point needs exactly one position, not 0";
}

void TestMondriRender::failures()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QString input = write(QStringLiteral("in.kml"), content);
    QString output = m_dir.filePath(QStringLiteral("failed.png"));
    QFile::remove(output);
    if (options.removeAll(QStringLiteral("--input-missing")))
        input = m_dir.filePath(QStringLiteral("missing.kml"));
    if (options.removeAll(QStringLiteral("--output-unwritable")))
        output = m_dir.filePath(QStringLiteral("nodir/out.png"));
    QByteArray errors;
    QCOMPARE(run(QStringList { input, QStringLiteral("-o"), output } + options, &errors), exitCode);
    QVERIFY2(errors.contains("mondri-render: ") && errors.contains(message.toUtf8()), errors.constData());
    QVERIFY(!QFile::exists(output));
}

// Elements other readers write but this one cannot use are reported and left out; the rest of the
// file is drawn.
void TestMondriRender::badElementsAreSkipped()
{
    const QString input = write(QStringLiteral("mixed.kml"), R"(<kml><Document>
<Style id="s"><LineStyle><color>fff</color></LineStyle><PolyStyle><color>ff0000ff</color></PolyStyle></Style>
<Placemark><Point><coordinates/></Point></Placemark>
<Placemark><LineString><coordinates>1,1,0,7 9,9,0,7</coordinates></LineString></Placemark>
<Placemark><styleUrl>#s</styleUrl><Polygon><outerBoundaryIs><LinearRing>
<coordinates>2,2 8,2 8,8 2,8 2,2</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark></Document></kml>)");
    const QString output = m_dir.filePath(QStringLiteral("mixed.png"));
    QByteArray errors;
    QCOMPARE(run({ input, QStringLiteral("-o"), output, QStringLiteral("--size"), QStringLiteral("200x100"),
                   QStringLiteral("--bbox"), QStringLiteral("0,0,20,10"), QStringLiteral("--background"),
                   QStringLiteral("#000000") }, &errors), 0);
    QStringList lines = QString::fromUtf8(errors).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Qt may say something about the environment first.
    lines.removeIf([](const QString &line) { return !line.startsWith(QLatin1String("mondri-render: ")); });
    const QString prefix = QStringLiteral("mondri-render: ") + input + QStringLiteral(": ");
    QCOMPARE(lines, (QStringList { prefix + QStringLiteral("line 2, column 26: \"fff\" is not a colour (aabbggrr); <color> skipped"),
                                   prefix + QStringLiteral("line 3, column 12: a Point needs exactly one position, not 0; <Point> skipped"),
                                   prefix + QStringLiteral("line 4, column 24: \"1,1,0,7\" is not a position (lon,lat[,alt]); <LineString> skipped") }));
    // The square is filled; the skipped diagonal across it is not drawn, and its outline keeps the
    // default white for want of a colour.
    const QImage image(output);
    QCOMPARE(image.pixelColor(50, 50), QColor(Qt::red));
    QCOMPARE(image.pixelColor(10, 90), QColor(Qt::black));
    QCOMPARE(image.pixelColor(20, 50), QColor(Qt::white));
}

// A file of points alone: each is drawn where its coordinates put it, named in its label colour;
// the default view shows all of them, markers whole.
void TestMondriRender::pointsWithNames()
{
    const QString input = write(QStringLiteral("points.kml"), R"(<kml><Document>
<Style id="r"><IconStyle><color>ff0000ff</color></IconStyle><LabelStyle><color>ff00ffff</color></LabelStyle></Style>
<Style id="g"><IconStyle><color>ff00ff00</color></IconStyle><LabelStyle><color>ff00ffff</color></LabelStyle></Style>
<Style id="b"><IconStyle><color>ffff0000</color></IconStyle></Style>
<Placemark><name>South-west</name><styleUrl>#r</styleUrl><Point><coordinates>2,2</coordinates></Point></Placemark>
<Placemark><name>NE</name><styleUrl>#g</styleUrl><Point><coordinates>18,8</coordinates></Point></Placemark>
<Placemark><styleUrl>#b</styleUrl><Point><coordinates>10,5,300</coordinates></Point></Placemark></Document></kml>)");
    const QString placed = m_dir.filePath(QStringLiteral("points.png"));
    QCOMPARE(run({ input, QStringLiteral("-o"), placed, QStringLiteral("--size"), QStringLiteral("200x100"),
                   QStringLiteral("--bbox"), QStringLiteral("0,0,20,10"), QStringLiteral("--background"),
                   QStringLiteral("#000000") }), 0);
    const QImage image(placed);
    QCOMPARE(image.pixelColor(20, 80), QColor(Qt::red));
    QCOMPARE(image.pixelColor(180, 20), QColor(Qt::green));
    QCOMPARE(image.pixelColor(100, 50), QColor(Qt::blue));
    const auto yellowIn = [](const QImage &picture, const QRect &rect) {
        int count = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c = picture.pixelColor(x, y);
                count += c.red() > 200 && c.green() > 200 && c.blue() < 60;
            }
        }
        return count;
    };
    QVERIFY(yellowIn(image, QRect(27, 70, 60, 20)) > 20);   // "South-west", right of its marker
    QCOMPARE(yellowIn(image, QRect(0, 70, 14, 20)), 0);     // and nothing left of it
    // "NE" would run off the image on the right, so it goes left of its marker.
    QVERIFY(yellowIn(image, QRect(150, 10, 24, 20)) > 10);
    QCOMPARE(yellowIn(image, QRect(186, 0, 14, 100)), 0);

    const QString whole = m_dir.filePath(QStringLiteral("points-default.png"));
    QCOMPARE(run({ input, QStringLiteral("-o"), whole, QStringLiteral("--size"), QStringLiteral("400x300"),
                   QStringLiteral("--background"), QStringLiteral("#000000") }), 0);
    const QImage overview(whole);
    for (const QColor &marker : { QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue) }) {
        QRect found;
        for (int y = 0; y < overview.height(); ++y) {
            for (int x = 0; x < overview.width(); ++x) {
                if (overview.pixelColor(x, y) == marker)
                    found |= QRect(x, y, 1, 1);
            }
        }
        QVERIFY2(found.width() >= 8 && found.height() >= 8, qPrintable(marker.name()));
        QVERIFY2(overview.rect().adjusted(8, 8, -8, -8).contains(found), qPrintable(marker.name()));
    }
}

QTEST_GUILESS_MAIN(TestMondriRender)
#include "tst_mondrirender.moc"
