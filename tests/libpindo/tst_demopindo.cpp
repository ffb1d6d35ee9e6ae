#include "demodragdrophandler.h"
#include "mainwindow.h"
#include "markermodelhelper.h"
#include "mydragdata.h"
#include "myimageitem.h"
#include "mytreewidget.h"

#include "gpsjpegwriter.h"
#include "heifwriter.h"
#include "localhttpserver.h"

#include "itemmarkertiler.h"
#include "lookupaltitude.h"
#include "lookupaltitudegeonames.h"
#include "pindowidget.h"

#include "daxappaboutdata.h"
#include "daxcommandline.h"
#include "daxconfig.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

using Pindo::GeoCoordinates;

namespace {

// The program's command line, parsed from the given options.
std::unique_ptr<DaxCommandLine> commandLine(const QStringList &options, bool *ok = nullptr)
{
    auto args = std::make_unique<DaxCommandLine>(DaxAppAboutData(QStringLiteral("demo-pindo"), QStringLiteral("Pindo demo application"),
                                                                 QStringLiteral("2.0.0")));
    args->addOption(QStringLiteral("demopoints_single"), QStringLiteral("Add built-in demo points as single markers"));
    args->addOption(QStringLiteral("demopoints_group"), QStringLiteral("Add built-in demo points as groupable markers"));
    args->addOption(QStringLiteral("single"), QStringLiteral("Do not group the displayed images"));
    args->addOption(QStringLiteral("+[images]"), QStringLiteral("List of images"));
    const bool parsed = args->parse(QStringList{QStringLiteral("demo-pindo")} + options);
    if (ok) {
        *ok = parsed;
    }
    return args;
}

// The window with handles on its parts.
struct Demo
{
    explicit Demo(const QStringList &options = {})
        : args(commandLine(options))
        , window(args.get())
    {
        tree = window.findChild<MyTreeWidget *>();
        map = window.findChild<Pindo::PindoWidget *>();
        tiler = window.findChild<Pindo::ItemMarkerTiler *>();
        helper = window.findChild<MarkerModelHelper *>();
        handler = window.findChild<DemoDragDropHandler *>();
        progress = window.findChild<QProgressBar *>();
    }

    QAbstractItemModel *model() const { return tree->model(); }
    QString message() { return window.statusBar()->currentMessage(); }
    int row(const QString &fileName) const
    {
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            if (tree->topLevelItem(i)->text(0) == fileName) {
                return i;
            }
        }
        return -1;
    }
    GeoCoordinates coordinatesAt(int row) const
    {
        return model()->index(row, 0).data(MyImageItem::CoordinatesRole).value<GeoCoordinates>();
    }
    bool load(const QList<QUrl> &urls)
    {
        const int before = tree->topLevelItemCount();
        window.slotScheduleImagesForLoading(urls);
        return QTest::qWaitFor([&]() { return tree->topLevelItemCount() == before + urls.size(); }, 20000);
    }

    std::unique_ptr<DaxCommandLine> args;
    MainWindow window;
    MyTreeWidget *tree;
    Pindo::PindoWidget *map;
    Pindo::ItemMarkerTiler *tiler;
    MarkerModelHelper *helper;
    DemoDragDropHandler *handler;
    QProgressBar *progress;
};

} // namespace

class TestDemoPindo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void twoBatchesMakeOneRun();
    void sharedPhotos();
    void photosFromOtherCameras();
    void largeWindow();
    void dropsGiveRowsThePlace();
    void movingAGroupLooksUpItsAltitude();
    void lateAnswers_data();
    void lateAnswers();
    void unreachableAltitudeService();
    void settingsAndFileDialog();

private:
    QUrl photo(const QString &name) const { return QUrl::fromLocalFile(m_photos.filePath(name)); }
    void moveGroup(Demo &demo, const GeoCoordinates &from, const QPoint &by);

    QTemporaryDir m_config;
    QTemporaryDir m_photos;
    LocalHttpServer m_altitudes;
};

void TestDemoPindo::initTestCase()
{
    QVERIFY(m_config.isValid() && m_photos.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QVERIFY(m_altitudes.start());
    m_altitudes.setResponder([](const QUrl &url) {
        const int places = QUrlQuery(url).queryItemValue(QStringLiteral("lats")).split(QLatin1Char(',')).size();
        return LocalHttpServer::Answer{200, QByteArray("123\n").repeated(places)};
    });
    Pindo::LookupAltitudeGeonames::setDefaultBaseUrl(m_altitudes.baseUrl());

    const QList<QPair<QString, GpsTags>> photos = {
        {QStringLiteral("prague1.jpg"), {"N", "50/1 17/1 5857/100", "E", "14/1 49/1 1306/100", "0", "252/1"}},
        {QStringLiteral("prague2.jpg"), {"N", "50/1 18/1 0/1", "E", "14/1 50/1 0/1", "", ""}},
        {QStringLiteral("andes.jpg"), {"S", "33/1 52/1 0/1", "W", "70/1 30/1 36/1", "1", "80/10"}},
        {QStringLiteral("nogps.jpg"), {}},
        {QStringLiteral("nogps2.jpg"), {}},
        {QStringLiteral("2023-07-14_Prague_Old_Town_Square_at_dusk_seen_from_the_Old_Town_Hall_tower_IMG_4711.jpg"), {"N", "50/1 5/1 15/1", "E", "14/1 25/1 16/1", "", ""}},
    };
    for (const auto &[name, tags] : photos) {
        QString error;
        QVERIFY2(GpsJpegWriter::write(m_photos.filePath(name), tags, &error), qPrintable(error));
    }
    // A camera without a fix writes every part as 0/0; a phone writes HEIC; an editor, XMP only.
    GpsTags xmpOnly;
    xmpOnly.xmpLatitude = QStringLiteral("48,51.5N");
    xmpOnly.xmpLongitude = QStringLiteral("2,21W");
    QVERIFY(GpsJpegWriter::write(m_photos.filePath(QStringLiteral("nofix.jpg")), {"", "0/0 0/0 0/0", "", "0/0 0/0 0/0", "", ""}));
    QVERIFY(GpsJpegWriter::write(m_photos.filePath(QStringLiteral("edited.jpg")), xmpOnly));
    QVERIFY(HeifWriter::write(m_photos.filePath(QStringLiteral("phone.heic")), {"N", "39/1 3/1 484/100", "W", "94/1 17/1 1958/100", "0", "244927/940"}));
    // A photo cut off inside its metadata.
    QFile whole(m_photos.filePath(QStringLiteral("prague1.jpg")));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    QFile cut(m_photos.filePath(QStringLiteral("cut.jpg")));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(whole.read(40));
}

void TestDemoPindo::commandLine_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("rows");
    QTest::newRow("nothing") << QStringList() << true << 0;
    QTest::newRow("single changes nothing") << QStringList{QStringLiteral("--single")} << true << 0;
    QTest::newRow("demo points") << QStringList{QStringLiteral("--demopoints_single")} << true << 6;
    QTest::newRow("demo points, grouped") << QStringList{QStringLiteral("--demopoints_group"), QStringLiteral("--single")} << true << 6;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << false << 0;
}

void TestDemoPindo::commandLine()
{
    QFETCH(QStringList, options);
    QFETCH(bool, ok);
    QFETCH(int, rows);
    bool parsed = false;
    auto args = ::commandLine(options + QStringList{QStringLiteral("a.jpg"), QStringLiteral("/tmp/b.png")}, &parsed);
    QCOMPARE(parsed, ok);
    if (!ok) {
        QVERIFY(args->errorText().contains(QLatin1String("bogus")));
        return;
    }
    QCOMPARE(args->urls(), (QList<QUrl>{QUrl::fromLocalFile(QDir::current().filePath(QStringLiteral("a.jpg"))),
                                        QUrl::fromLocalFile(QStringLiteral("/tmp/b.png"))}));
    Demo demo(options);
    QCOMPARE(demo.tree->topLevelItemCount(), rows);
    if (rows) {
        QCOMPARE(demo.tree->topLevelItem(1)->text(0), QStringLiteral("item 1"));
        QCOMPARE(demo.tree->topLevelItem(1)->text(1), QStringLiteral("geo:51.06711205,6.90020261667,43"));
    }
    // Demo rows have no marker until something is dropped for them.
    QCOMPARE(demo.tiler->markerCount(), 0);
}

// A second batch scheduled while the first still loads joins its run: one progress bar, one
// final message counting both; rows without a position get no coordinates and no marker.
void TestDemoPindo::twoBatchesMakeOneRun()
{
    Demo demo;
    demo.window.show();
    QVERIFY(!demo.progress->isVisible());
    demo.window.slotScheduleImagesForLoading({photo(QStringLiteral("prague1.jpg")), photo(QStringLiteral("nogps.jpg")),
                                              photo(QStringLiteral("andes.jpg"))});
    demo.window.slotScheduleImagesForLoading({photo(QStringLiteral("cut.jpg")), photo(QStringLiteral("missing.jpg"))});
    QVERIFY(demo.progress->isVisible());
    QCOMPARE(demo.progress->maximum(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(demo.message(), QStringLiteral("5 images have been loaded."), 20000);
    QTRY_COMPARE(demo.tree->topLevelItemCount(), 5);
    QVERIFY(!demo.progress->isVisible());
    QTRY_VERIFY(demo.window.findChildren<QFutureWatcherBase *>().isEmpty());

    QCOMPARE(demo.tree->topLevelItem(demo.row(QStringLiteral("prague1.jpg")))->text(1),
             QStringLiteral("geo:50.2996027778,14.8202944444,252"));
    QCOMPARE(demo.tree->topLevelItem(demo.row(QStringLiteral("andes.jpg")))->text(1),
             QStringLiteral("geo:-33.8666666667,-70.51,-8"));
    for (const QString &name : {QStringLiteral("nogps.jpg"), QStringLiteral("cut.jpg"), QStringLiteral("missing.jpg")}) {
        QVERIFY2(demo.row(name) >= 0, qPrintable(name));
        QCOMPARE(demo.tree->topLevelItem(demo.row(name))->text(1), QString());
        QVERIFY(!demo.helper->itemCoordinates(demo.model()->index(demo.row(name), 0)));
    }
    QCOMPARE(demo.tiler->markerCount(), 2);

    // The next run starts from zero and counts in the singular.
    QVERIFY(demo.load({photo(QStringLiteral("prague2.jpg"))}));
    QTRY_COMPARE(demo.message(), QStringLiteral("1 image has been loaded."));
    QCOMPARE(demo.tiler->markerCount(), 3);
}

void TestDemoPindo::sharedPhotos()
{
    const QDir dir(qEnvironmentVariable("TALVORI_SHARED_DIR") + QStringLiteral("/testdata/images"));
    QFile table(dir.filePath(QStringLiteral("EXPECTED.tsv")));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QSKIP("The shared test photos (testdata/images/EXPECTED.tsv) are not here");
    }
    QList<QStringList> expected;
    table.readLine();
    while (!table.atEnd()) {
        const QStringList cols = QString::fromUtf8(table.readLine()).chopped(1).split(QLatin1Char('\t'));
        if (cols.size() >= 4) {
            expected.append(cols);
        }
    }
    QList<QUrl> urls;
    for (const QStringList &row : expected) {
        urls.append(QUrl::fromLocalFile(dir.filePath(row.first())));
    }

    Demo demo;
    QVERIFY(demo.load(urls));
    QCOMPARE(demo.tree->topLevelItemCount(), expected.size());
    int withPosition = 0;
    for (const QStringList &row : expected) {
        const int r = demo.row(row.first());
        QVERIFY2(r >= 0, qPrintable(row.first()));
        const GeoCoordinates coordinates = demo.coordinatesAt(r);
        QCOMPARE(coordinates.hasCoordinates(), !row.at(1).isEmpty());
        if (row.at(1).isEmpty()) {
            QCOMPARE(demo.tree->topLevelItem(r)->text(1), QString());
            QVERIFY(!demo.helper->itemCoordinates(demo.model()->index(r, 0)));
            continue;
        }
        ++withPosition;
        QVERIFY2(qAbs(coordinates.lat() - row.at(1).toDouble()) < 1e-6, qPrintable(row.first()));
        QVERIFY2(qAbs(coordinates.lon() - row.at(2).toDouble()) < 1e-6, qPrintable(row.first()));
        QCOMPARE(coordinates.hasAltitude(), !row.at(3).isEmpty());
        if (coordinates.hasAltitude()) {
            QVERIFY2(qAbs(coordinates.alt() - row.at(3).toDouble()) < 0.1, qPrintable(row.first()));
        }
    }
    QCOMPARE(demo.tiler->markerCount(), withPosition);
}

void TestDemoPindo::photosFromOtherCameras()
{
    Demo demo;
    QVERIFY(demo.load({photo(QStringLiteral("nofix.jpg")), photo(QStringLiteral("edited.jpg")), photo(QStringLiteral("phone.heic"))}));
    // No fix is no position: a row without coordinates and no marker at 0°, 0°.
    QCOMPARE(demo.tree->topLevelItem(demo.row(QStringLiteral("nofix.jpg")))->text(1), QString());
    QVERIFY(!demo.helper->itemCoordinates(demo.model()->index(demo.row(QStringLiteral("nofix.jpg")), 0)));
    QCOMPARE(demo.tree->topLevelItem(demo.row(QStringLiteral("edited.jpg")))->text(1), QStringLiteral("geo:48.8583333333,-2.35"));
    QCOMPARE(demo.tree->topLevelItem(demo.row(QStringLiteral("phone.heic")))->text(1),
             QStringLiteral("geo:39.0513444444,-94.2887722222,260.560638298"));
    QCOMPARE(demo.tiler->markerCount(), 2);
}

// Enlarged, the window gives the map the room and the map fills it with the world; file names are
// shown whole, however long.
void TestDemoPindo::largeWindow()
{
    Demo demo;
    demo.window.resize(1200, 900);
    demo.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&demo.window));
    const QString longName = QStringLiteral("2023-07-14_Prague_Old_Town_Square_at_dusk_seen_from_the_Old_Town_Hall_tower_IMG_4711.jpg");
    QVERIFY(demo.load({photo(longName), photo(QStringLiteral("andes.jpg")), photo(QStringLiteral("nogps.jpg"))}));
    QTRY_VERIFY(demo.map->width() >= 1100 && demo.map->height() >= 500);
    demo.map->setZoomLevel(0);
    const QRectF world(demo.map->geoToScreen(GeoCoordinates(90, -180)), demo.map->geoToScreen(GeoCoordinates(-90, 180)));
    QVERIFY(world.contains(QRectF(demo.map->rect())));

    const int nameWidth = demo.tree->fontMetrics().horizontalAdvance(longName);
    QVERIFY2(demo.tree->columnWidth(0) >= nameWidth,
             qPrintable(QStringLiteral("column %1, name %2").arg(demo.tree->columnWidth(0)).arg(nameWidth)));
}

void TestDemoPindo::dropsGiveRowsThePlace()
{
    Demo demo({QStringLiteral("--demopoints_single")});
    demo.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&demo.window));
    QVERIFY(demo.load({photo(QStringLiteral("nogps.jpg")), photo(QStringLiteral("nogps2.jpg"))}));
    QCOMPARE(demo.tiler->markerCount(), 0);
    const int first = demo.row(QStringLiteral("nogps.jpg"));
    const int second = demo.row(QStringLiteral("nogps2.jpg"));
    const int requestsBefore = m_altitudes.requests().size();
    QSignalSpy moved(demo.helper, &MarkerModelHelper::signalMarkersMoved);

    // The rows are selected in the list and dragged, as MyTreeWidget does.
    demo.tree->topLevelItem(first)->setSelected(true);
    demo.tree->topLevelItem(second)->setSelected(true);
    std::unique_ptr<MyDragData> rows(demo.tree->createDragData(demo.tree->selectionModel()->selectedIndexes()));
    QCOMPARE(rows->draggedIndices.size(), 4); // two rows, two columns each

    const QPointF at(100, 60);
    const GeoCoordinates place = demo.map->screenToGeo(at);
    QDropEvent drop(at, Qt::CopyAction, rows.get(), Qt::LeftButton, Qt::NoModifier);
    QCOMPARE(demo.handler->accepts(&drop), Qt::CopyAction);
    QVERIFY(demo.handler->dropEvent(&drop, place));
    QCOMPARE(demo.coordinatesAt(first), place);
    QCOMPARE(demo.coordinatesAt(second), place);
    QCOMPARE(demo.tree->topLevelItem(first)->text(1), place.geoUrl());
    QCOMPARE(demo.tiler->markerCount(), 2);
    QCOMPARE(demo.tiler->groupsAtLevel(demo.map->tileLevel()).size(), 1);

    // A demo row becomes a marker once it is dropped; the drop through the map lands where the
    // mouse is.
    std::unique_ptr<MyDragData> demoRow(demo.tree->createDragData({demo.model()->index(5, 0)}));
    QDragEnterEvent enter(QPoint(300, 100), Qt::CopyAction, demoRow.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(demo.map, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent mapDrop(QPointF(300, 100), Qt::CopyAction, demoRow.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(demo.map, &mapDrop);
    QVERIFY(mapDrop.isAccepted());
    QCOMPARE(demo.coordinatesAt(5), demo.map->screenToGeo(QPointF(300, 100)));
    QCOMPARE(demo.tiler->markerCount(), 3);

    // Anything else is refused and changes nothing.
    QMimeData foreign;
    foreign.setText(QStringLiteral("geo:1,2"));
    QDropEvent foreignDrop(at, Qt::CopyAction, &foreign, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!demo.handler->dropEvent(&foreignDrop, GeoCoordinates(1, 2)));
    QDragEnterEvent foreignEnter(at.toPoint(), Qt::CopyAction, &foreign, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(demo.map, &foreignEnter);
    QApplication::sendEvent(demo.map, &foreignDrop);
    QVERIFY(!foreignDrop.isAccepted());
    QCOMPARE(demo.tiler->markerCount(), 3);

    // Drops ask for no altitude.
    QTest::qWait(50);
    QVERIFY(moved.isEmpty());
    QVERIFY(demo.window.findChildren<Pindo::LookupAltitude *>().isEmpty());
    QCOMPARE(m_altitudes.requests().size(), requestsBefore);
}

// Drags the group drawn at from by the given pixels, with the mouse.
void TestDemoPindo::moveGroup(Demo &demo, const GeoCoordinates &from, const QPoint &by)
{
    const QPoint start = demo.map->geoToScreen(from).toPoint();
    QVERIFY(demo.map->groupAt(start) >= 0);
    QTest::mousePress(demo.map, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(demo.map, start + by / 2);
    QTest::mouseMove(demo.map, start + by);
    QTest::mouseRelease(demo.map, Qt::LeftButton, Qt::NoModifier, start + by);
}

void TestDemoPindo::movingAGroupLooksUpItsAltitude()
{
    Demo demo;
    demo.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&demo.window));
    QVERIFY(demo.load({photo(QStringLiteral("prague1.jpg")), photo(QStringLiteral("prague2.jpg")),
                       photo(QStringLiteral("andes.jpg"))}));
    demo.map->setCenter(GeoCoordinates(50.3, 14.8));
    demo.map->setZoomLevel(3);
    const int requestsBefore = m_altitudes.requests().size();
    QSignalSpy moved(demo.helper, &MarkerModelHelper::signalMarkersMoved);

    const GeoCoordinates mean((50.2996027778 + 50.3) / 2, (14.8202944444 + 14.8333333333) / 2);
    moveGroup(demo, mean, QPoint(40, 30));
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.first().first().value<QList<QPersistentModelIndex>>().size(), 2);
    const GeoCoordinates target = demo.map->screenToGeo(demo.map->geoToScreen(mean).toPoint() + QPoint(40, 30));
    const int prague1 = demo.row(QStringLiteral("prague1.jpg"));
    const int prague2 = demo.row(QStringLiteral("prague2.jpg"));
    QVERIFY(demo.coordinatesAt(prague1).sameLonLatAs(target));
    QVERIFY(demo.coordinatesAt(prague2).sameLonLatAs(target));

    // One lookup, one query for the one place; the answer lands in both rows.
    QTRY_COMPARE(demo.coordinatesAt(prague1).hasAltitude(), true);
    QTRY_COMPARE(demo.coordinatesAt(prague2).hasAltitude(), true);
    QCOMPARE(demo.coordinatesAt(prague1).alt(), 123.0);
    QCOMPARE(m_altitudes.requests().size(), requestsBefore + 1);
    QCOMPARE(QUrlQuery(m_altitudes.requests().last()).queryItemValue(QStringLiteral("lats")).split(QLatin1Char(',')).size(), 1);
    QVERIFY(demo.tree->topLevelItem(prague1)->text(1).endsWith(QLatin1String(",123")));
    QCOMPARE(demo.row(QStringLiteral("andes.jpg")) >= 0, true);
    QCOMPARE(demo.coordinatesAt(demo.row(QStringLiteral("andes.jpg"))).alt(), -8.0);
    QTRY_VERIFY(demo.window.findChildren<Pindo::LookupAltitude *>().isEmpty());
}

void TestDemoPindo::lateAnswers_data()
{
    QTest::addColumn<bool>("deleteRow");
    QTest::newRow("row deleted before the answer") << true;
    QTest::newRow("row moved again before the answer") << false;
}

// Answers for rows that changed meanwhile must not bring back old data or touch deleted rows.
void TestDemoPindo::lateAnswers()
{
    QFETCH(bool, deleteRow);
    Demo demo;
    demo.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&demo.window));
    QVERIFY(demo.load({photo(QStringLiteral("prague1.jpg")), photo(QStringLiteral("prague2.jpg"))}));
    demo.map->setCenter(GeoCoordinates(50.3, 14.8));
    demo.map->setZoomLevel(3);

    m_altitudes.setHold(true);
    const GeoCoordinates mean((50.2996027778 + 50.3) / 2, (14.8202944444 + 14.8333333333) / 2);
    moveGroup(demo, mean, QPoint(-30, 20));
    QTRY_COMPARE(m_altitudes.pendingCount(), 1);

    const int kept = demo.row(QStringLiteral("prague2.jpg"));
    QTreeWidgetItem *changed = demo.tree->topLevelItem(demo.row(QStringLiteral("prague1.jpg")));
    if (deleteRow) {
        delete changed;
    } else {
        changed->setData(0, MyImageItem::CoordinatesRole, QVariant::fromValue(GeoCoordinates(1, 2)));
    }
    m_altitudes.release();
    const int keptNow = demo.row(QStringLiteral("prague2.jpg"));
    Q_UNUSED(kept);
    QTRY_VERIFY(demo.coordinatesAt(keptNow).hasAltitude());
    QCOMPARE(demo.coordinatesAt(keptNow).alt(), 123.0);
    if (deleteRow) {
        QCOMPARE(demo.tree->topLevelItemCount(), 1);
    } else {
        QCOMPARE(demo.coordinatesAt(demo.row(QStringLiteral("prague1.jpg"))), GeoCoordinates(1, 2));
    }
}

void TestDemoPindo::unreachableAltitudeService()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QUrl closed(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
    probe.close();
    Pindo::LookupAltitudeGeonames::setDefaultBaseUrl(closed);
    auto restore = qScopeGuard([this]() { Pindo::LookupAltitudeGeonames::setDefaultBaseUrl(m_altitudes.baseUrl()); });

    Demo demo;
    demo.window.show();
    QVERIFY(demo.load({photo(QStringLiteral("andes.jpg"))}));
    demo.helper->onIndicesMoved({QPersistentModelIndex(demo.model()->index(0, 0))}, GeoCoordinates(10, 20),
                                QPersistentModelIndex());
    QTRY_VERIFY(demo.message().contains(QLatin1String("could not be reached")));
    QCOMPARE(demo.coordinatesAt(0), GeoCoordinates(10, 20));
    QTRY_VERIFY(demo.window.findChildren<Pindo::LookupAltitude *>().isEmpty());
}

void TestDemoPindo::settingsAndFileDialog()
{
    const QString configFile = m_config.filePath(QStringLiteral("zelt-demo-1"));
    QFile::remove(configFile);
    QByteArray splitterState;
    {
        Demo demo;
        demo.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&demo.window));
        QAction *addImages = demo.window.findChild<QAction *>(QStringLiteral("addImages"));
        QVERIFY(addImages);

        // Cancelling the dialog changes nothing.
        QTimer::singleShot(0, []() {
            QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
            QApplication::activeModalWidget()->close();
        });
        addImages->trigger();
        QCOMPARE(demo.tree->topLevelItemCount(), 0);

        // Chosen files are loaded and their directory remembered.
        QTimer::singleShot(0, [this]() {
            QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            dialog->setDirectory(m_photos.path());
            dialog->selectFile(QStringLiteral("andes.jpg"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        addImages->trigger();
        QTRY_COMPARE(demo.tree->topLevelItemCount(), 1);

        demo.map->setZoomLevel(5);
        demo.window.findChild<QSplitter *>()->setSizes({300, 150});
        splitterState = demo.window.findChild<QSplitter *>()->saveState();
        demo.window.close();
    }
    QVERIFY(QFile::exists(configFile));
    DaxConfig config(configFile, DaxConfig::SimpleConfig);
    QCOMPARE(config.group(QStringLiteral("MainWindowConfig")).readEntry(QStringLiteral("Last Image Open Directory")).toString(),
             QUrl::fromLocalFile(m_photos.path() + QLatin1Char('/')).toString());
    QCOMPARE(config.group(QStringLiteral("MainWindowConfig")).readEntry(QStringLiteral("SplitterState")).toString(),
             QString::fromLatin1(splitterState.toBase64()));

    Demo again;
    QCOMPARE(again.map->zoomLevel(), 5);
    QCOMPARE(again.window.findChild<QSplitter *>()->saveState(), splitterState);

    // A damaged splitter state is ignored.
    {
        DaxConfig damaged(configFile, DaxConfig::SimpleConfig);
        damaged.group(QStringLiteral("MainWindowConfig")).writeEntry(QStringLiteral("SplitterState"), QStringLiteral("!!not base64"));
    }
    Demo third;
    QCOMPARE(third.map->zoomLevel(), 5);
}

QTEST_MAIN(TestDemoPindo)
#include "tst_demopindo.moc"
