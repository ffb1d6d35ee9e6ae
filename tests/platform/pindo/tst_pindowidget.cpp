#include "dragdrophandler.h"
#include "itemmarkertiler.h"
#include "pindowidget.h"
#include "testmodelhelper.h"

#include "daxconfig.h"

#include <QApplication>
#include <QMimeData>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Pindo;

namespace {

// Takes drops of text and records where they landed.
class TextDropHandler : public DragDropHandler
{
public:
    using DragDropHandler::DragDropHandler;
    Qt::DropAction accepts(const QDropEvent *event) override
    {
        return event->mimeData()->hasText() ? Qt::CopyAction : Qt::IgnoreAction;
    }
    bool dropEvent(const QDropEvent *event, const GeoCoordinates &dropCoordinates) override
    {
        texts.append(event->mimeData()->text());
        places.append(dropCoordinates);
        return true;
    }
    QMimeData *createMimeData(const QList<QPersistentModelIndex> &) override { return nullptr; }

    QStringList texts;
    QList<GeoCoordinates> places;
};

} // namespace

class TestPindoWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void projection_data();
    void projection();
    void worldFillsTheWidget_data();
    void worldFillsTheWidget();
    void dropsGoToTheHandler();
    void draggingAGroupMovesAllItsRows();
    void clicksAndPanning();
    void wheelZoomKeepsThePlaceUnderTheCursor();
    void controlWidget();
    void settingsRoundTrip();
    void paintsMarkers();

private:
    void addRow(double lat, double lon)
    {
        auto *item = new QStandardItem(QStringLiteral("row %1").arg(m_model->rowCount()));
        item->setData(QVariant::fromValue(GeoCoordinates(lat, lon)), TestModelHelper::CoordinatesRole);
        m_model->appendRow(item);
    }
    QPoint screenPoint(double lat, double lon) const { return m_map->geoToScreen(GeoCoordinates(lat, lon)).toPoint(); }

    QStandardItemModel *m_model = nullptr;
    QItemSelectionModel *m_selection = nullptr;
    TestModelHelper *m_helper = nullptr;
    ItemMarkerTiler *m_tiler = nullptr;
    PindoWidget *m_map = nullptr;
};

void TestPindoWidget::init()
{
    m_model = new QStandardItemModel(this);
    m_selection = new QItemSelectionModel(m_model, this);
    m_helper = new TestModelHelper(m_model, m_selection);
    m_tiler = new ItemMarkerTiler(m_helper, this);
    m_map = new PindoWidget;
    m_map->resize(400, 300);
    m_map->setGroupedModel(m_tiler);
    m_map->setActive(true);
    m_map->setVisibleMouseModes(MouseModes(49));
    m_map->setAvailableMouseModes(MouseModes(49));
    m_map->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_map));
}

void TestPindoWidget::cleanup()
{
    delete m_map;
    delete m_tiler;
    delete m_selection;
    delete m_model;
}

void TestPindoWidget::projection_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::newRow("world") << 0 << 20.0 << 0.0;
    QTest::newRow("city") << 12 << 51.07 << 6.9;
    QTest::newRow("deepest") << int(PindoWidget::MaxZoom) << -33.86 << -70.51;
}

void TestPindoWidget::projection()
{
    QFETCH(int, zoom);
    QFETCH(double, lat);
    QFETCH(double, lon);
    m_map->setZoomLevel(zoom);
    m_map->setCenter(GeoCoordinates(lat, lon));
    QCOMPARE(m_map->geoToScreen(GeoCoordinates(lat, lon)), QPointF(200, 150));
    const QPointF corner(13, 277);
    const QPointF back = m_map->geoToScreen(m_map->screenToGeo(corner));
    QVERIFY(qAbs(back.x() - corner.x()) < 1e-6 && qAbs(back.y() - corner.y()) < 1e-6);
    // East is right, north is up.
    const GeoCoordinates topRight = m_map->screenToGeo(QPointF(399, 0));
    QVERIFY(topRight.lat() > lat && topRight.lon() > lon);
}

// However large the window, the smallest zoom shows the world across the whole map, not a small
// world inside a dark border; zooming in from there doubles it.
void TestPindoWidget::worldFillsTheWidget_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("worldWidth");
    QTest::newRow("small") << QSize(300, 200) << 512.0;
    QTest::newRow("wide") << QSize(1200, 500) << 1200.0;
    QTest::newRow("tall") << QSize(600, 636) << 1272.0;
}

void TestPindoWidget::worldFillsTheWidget()
{
    QFETCH(QSize, size);
    QFETCH(double, worldWidth);
    m_map->resize(size);
    m_map->setZoomLevel(0);
    m_map->setCenter(GeoCoordinates(0, 0));
    const QPointF northWest = m_map->geoToScreen(GeoCoordinates(90, -180));
    const QPointF southEast = m_map->geoToScreen(GeoCoordinates(-90, 180));
    QCOMPARE(southEast.x() - northWest.x(), worldWidth);
    QCOMPARE(southEast.y() - northWest.y(), worldWidth / 2);
    QVERIFY(QRectF(northWest, southEast).contains(QRectF(QPointF(0, 0), QSizeF(size))));
    // Painted so: no pixel of the border colour in the corners.
    const QImage image = m_map->grab().toImage();
    for (const QPoint corner : { QPoint(1, 1), QPoint(size.width() - 2, size.height() - 2) })
        QVERIFY(image.pixelColor(corner) != QColor(0x1b, 0x26, 0x33));
    m_map->setZoomLevel(1);
    QCOMPARE(m_map->geoToScreen(GeoCoordinates(0, 180)).x() - m_map->geoToScreen(GeoCoordinates(0, -180)).x(), 2 * worldWidth);
    // Markers are grouped by tiles of about the same size on the screen, however large the world.
    QCOMPARE(m_map->tileLevel(), size.width() > 1000 || size.height() > 600 ? 4 : 3);
}

void TestPindoWidget::dropsGoToTheHandler()
{
    const QPoint where(120, 80);
    auto dropAt = [this, where](QMimeData *data) {
        QDragEnterEvent enter(where, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_map, &enter);
        QDropEvent drop(where, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_map, &drop);
        return std::make_pair(enter.isAccepted(), drop.isAccepted());
    };
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QMimeData image;
    image.setImageData(QImage(2, 2, QImage::Format_RGB32));

    // Without a handler the map takes nothing.
    QCOMPARE(dropAt(&text), std::make_pair(false, false));

    TextDropHandler handler(m_map);
    m_map->setDragDropHandler(&handler);
    QCOMPARE(dropAt(&text), std::make_pair(true, true));
    QCOMPARE(handler.texts, QStringList{QStringLiteral("hello")});
    QCOMPARE(handler.places.first(), m_map->screenToGeo(where));

    QCOMPARE(dropAt(&image), std::make_pair(false, false));
    QCOMPARE(handler.texts.size(), 1);
}

void TestPindoWidget::draggingAGroupMovesAllItsRows()
{
    addRow(51.0913031421, 6.88878178596);
    addRow(51.06711205, 6.90020261667);
    addRow(41.4036480511, 2.1743756533);
    m_map->setCenter(GeoCoordinates(50, 5));
    m_map->setZoomLevel(2);
    const QPoint from = screenPoint(51.08, 6.89);
    QCOMPARE(m_map->groupAt(from), 0);
    const QPoint to = from + QPoint(60, 40);

    QTest::mousePress(m_map, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(m_map, from + QPoint(20, 10));
    QTest::mouseMove(m_map, to);
    QTest::mouseRelease(m_map, Qt::LeftButton, Qt::NoModifier, to);

    QCOMPARE(m_helper->moves.size(), 1);
    const TestModelHelper::Move move = m_helper->moves.first();
    QCOMPARE(move.indices, (QList<QPersistentModelIndex>{m_model->index(0, 0), m_model->index(1, 0)}));
    QCOMPARE(move.target, m_map->screenToGeo(to));
    // The view itself did not move.
    QCOMPARE(m_map->getCenter(), GeoCoordinates(50, 5));

    // In the select mode markers stay where they are and the drag pans the map.
    m_map->setMouseMode(MouseModeSelectThumbnail);
    QTest::mousePress(m_map, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(m_map, from + QPoint(20, 10));
    QTest::mouseMove(m_map, to);
    QTest::mouseRelease(m_map, Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(m_helper->moves.size(), 1);
    QVERIFY(m_map->getCenter() != GeoCoordinates(50, 5));
}

void TestPindoWidget::clicksAndPanning()
{
    addRow(51.09, 6.88);
    addRow(51.07, 6.90);
    addRow(41.40, 2.17);
    m_map->setCenter(GeoCoordinates(50, 5));
    m_map->setZoomLevel(2);

    // A click on a group selects its rows.
    QTest::mouseClick(m_map, Qt::LeftButton, Qt::NoModifier, screenPoint(41.40, 2.17));
    QCOMPARE(m_selection->selectedRows().size(), 1);
    QCOMPARE(m_selection->selectedRows().first().row(), 2);
    QTest::mouseClick(m_map, Qt::LeftButton, Qt::ControlModifier, screenPoint(51.08, 6.89));
    QCOMPARE(m_selection->selectedRows().size(), 3);
    QCOMPARE(m_helper->clicks.size(), 2);

    // Dragging the background pans by exactly the mouse's way.
    const GeoCoordinates before = m_map->getCenter();
    const QPoint start(30, 250);
    const GeoCoordinates grabbed = m_map->screenToGeo(start);
    QTest::mousePress(m_map, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(m_map, start + QPoint(25, -15));
    QTest::mouseMove(m_map, start + QPoint(50, -30));
    QTest::mouseRelease(m_map, Qt::LeftButton, Qt::NoModifier, start + QPoint(50, -30));
    QVERIFY(m_map->getCenter() != before);
    const GeoCoordinates under = m_map->screenToGeo(start + QPoint(50, -30));
    QVERIFY(qAbs(under.lat() - grabbed.lat()) < 1e-9 && qAbs(under.lon() - grabbed.lon()) < 1e-9);
    QVERIFY(m_helper->moves.isEmpty());

    // In the zoom mode a click on a group zooms into it.
    m_map->setMouseMode(MouseModeZoomIntoGroup);
    const int zoom = m_map->zoomLevel();
    QTest::mouseClick(m_map, Qt::LeftButton, Qt::NoModifier, screenPoint(41.40, 2.17));
    QCOMPARE(m_map->zoomLevel(), zoom + 2);
}

void TestPindoWidget::wheelZoomKeepsThePlaceUnderTheCursor()
{
    m_map->setCenter(GeoCoordinates(10, 10));
    m_map->setZoomLevel(3);
    const QPointF cursor(300, 100);
    const GeoCoordinates place = m_map->screenToGeo(cursor);
    QWheelEvent wheel(cursor, m_map->mapToGlobal(cursor), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_map, &wheel);
    QCOMPARE(m_map->zoomLevel(), 4);
    const QPointF back = m_map->geoToScreen(place);
    QVERIFY(qAbs(back.x() - cursor.x()) < 1e-6 && qAbs(back.y() - cursor.y()) < 1e-6);

    m_map->setZoomLevel(100);
    QCOMPARE(m_map->zoomLevel(), int(PindoWidget::MaxZoom));
    m_map->setZoomLevel(-3);
    QCOMPARE(m_map->zoomLevel(), 0);
}

void TestPindoWidget::controlWidget()
{
    QWidget *control = m_map->getControlWidget();
    QCOMPARE(m_map->getControlWidget(), control);
    QWidget panel;
    control->setParent(&panel);
    panel.show();

    auto button = [control](const char *name) { return control->findChild<QToolButton *>(QLatin1String(name)); };
    m_map->setZoomLevel(5);
    button("zoomIn")->click();
    QCOMPARE(m_map->zoomLevel(), 6);
    button("zoomOut")->click();
    button("zoomOut")->click();
    QCOMPARE(m_map->zoomLevel(), 4);

    // Modes 49: pan, select and zoom into group are offered; the rest are hidden.
    for (int mode : {1, 2, 4, 8, 16, 32}) {
        QToolButton *modeButton = button(qPrintable(QStringLiteral("mouseMode%1").arg(mode)));
        QVERIFY(modeButton);
        QCOMPARE(modeButton->isVisible(), (49 & mode) != 0);
    }
    button("mouseMode16")->click();
    QCOMPARE(m_map->mouseMode(), MouseModeSelectThumbnail);
    m_map->setMouseMode(MouseModeFilter); // not available: ignored
    QCOMPARE(m_map->mouseMode(), MouseModeSelectThumbnail);
    m_map->setMouseMode(MouseModePan);
    QVERIFY(button("mouseMode1")->isChecked());
    control->setParent(nullptr);
    delete control;
}

void TestPindoWidget::settingsRoundTrip()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("maprc"));
    {
        DaxConfig config(file, DaxConfig::SimpleConfig);
        DaxConfigGroup group = config.group(QStringLiteral("WidgetConfig"));
        m_map->setCenter(GeoCoordinates(-33.5, -70.25));
        m_map->setZoomLevel(7);
        m_map->setMouseMode(MouseModeZoomIntoGroup);
        m_map->saveSettingsToGroup(group);
        QVERIFY(config.sync());
    }
    PindoWidget other;
    other.setAvailableMouseModes(MouseModes(49));
    {
        DaxConfig config(file, DaxConfig::SimpleConfig);
        other.readSettingsFromGroup(config.group(QStringLiteral("WidgetConfig")));
    }
    QCOMPARE(other.getCenter(), GeoCoordinates(-33.5, -70.25));
    QCOMPARE(other.zoomLevel(), 7);
    QCOMPARE(other.mouseMode(), MouseModeZoomIntoGroup);

    // Damaged values leave the view as it was.
    {
        DaxConfig config(file, DaxConfig::SimpleConfig);
        DaxConfigGroup group = config.group(QStringLiteral("WidgetConfig"));
        group.writeEntry(QStringLiteral("Center"), QStringLiteral("geo:95,0"));
        group.writeEntry(QStringLiteral("Zoom"), QStringLiteral("deep"));
        group.writeEntry(QStringLiteral("Mouse Mode"), 3);
        other.readSettingsFromGroup(group);
    }
    QCOMPARE(other.getCenter(), GeoCoordinates(-33.5, -70.25));
    QCOMPARE(other.zoomLevel(), 7);
    QCOMPARE(other.mouseMode(), MouseModeZoomIntoGroup);

    // A file written by hand, with the geo URL unquoted.
    QFile handWritten(file);
    QVERIFY(handWritten.open(QIODevice::WriteOnly | QIODevice::Truncate));
    handWritten.write("[WidgetConfig]\nCenter=geo:47,8\nZoom=3\n");
    handWritten.close();
    {
        DaxConfig config(file, DaxConfig::SimpleConfig);
        other.readSettingsFromGroup(config.group(QStringLiteral("WidgetConfig")));
    }
    QCOMPARE(other.getCenter(), GeoCoordinates(47, 8));
    QCOMPARE(other.zoomLevel(), 3);
}

void TestPindoWidget::paintsMarkers()
{
    addRow(10, 10);
    addRow(-20, -30);
    m_map->setCenter(GeoCoordinates(0, 0));
    m_map->setZoomLevel(1);
    m_selection->select(m_model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    for (const QString &background : {PindoWidget::defaultBackgroundImagePath(), QString()}) {
        const bool hasImage = m_map->setBackgroundImageFile(background);
        QCOMPARE(m_map->hasBackgroundImage(), hasImage);
        QImage shot = m_map->grab().toImage();
        QCOMPARE(shot.pixelColor(screenPoint(10, 10)), QColor(0x29, 0x80, 0xb9));
        QCOMPARE(shot.pixelColor(screenPoint(-20, -30)), QColor(0xf3, 0x9c, 0x12));

        m_map->setActive(false);
        shot = m_map->grab().toImage();
        QVERIFY(shot.pixelColor(screenPoint(10, 10)) != QColor(0x29, 0x80, 0xb9));
        m_map->setActive(true);
    }
}

QTEST_MAIN(TestPindoWidget)
#include "tst_pindowidget.moc"
