#include "itemmarkertiler.h"
#include "testmodelhelper.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using Pindo::GeoCoordinates;
using Pindo::ItemMarkerTiler;

class TestItemMarkerTiler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tileIndex_data();
    void tileIndex();
    void grouping();
    void followsTheModel();
    void selectionCounts();

private:
    static void addRow(QStandardItemModel &model, const QVariant &coordinates)
    {
        auto *item = new QStandardItem(QStringLiteral("row %1").arg(model.rowCount()));
        item->setData(coordinates, TestModelHelper::CoordinatesRole);
        model.appendRow(item);
    }
    static QVariant at(double lat, double lon) { return QVariant::fromValue(GeoCoordinates(lat, lon)); }
};

void TestItemMarkerTiler::tileIndex_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("expectedLevel");

    QTest::newRow("level 0 west") << 10.0 << -100.0 << 0 << 0 << 0 << 0;
    QTest::newRow("level 0 south east") << -10.0 << 100.0 << 0 << 1 << 0 << 0;
    QTest::newRow("north-west corner") << 90.0 << -180.0 << 3 << 0 << 0 << 3;
    QTest::newRow("date line and south pole stay inside") << -90.0 << 180.0 << 3 << 15 << 7 << 3;
    QTest::newRow("level 2 Cologne") << 51.0 << 6.9 << 2 << 4 << 0 << 2;
    QTest::newRow("negative level clamps") << 0.0 << 0.0 << -4 << 1 << 0 << 0;
    QTest::newRow("too deep clamps") << 0.0 << 0.0 << 99 << (1 << ItemMarkerTiler::MaxLevel) << (1 << (ItemMarkerTiler::MaxLevel - 1))
                                     << int(ItemMarkerTiler::MaxLevel);
}

void TestItemMarkerTiler::tileIndex()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(int, level);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, expectedLevel);
    const ItemMarkerTiler::TileIndex tile = ItemMarkerTiler::tileIndexFor(GeoCoordinates(lat, lon), level);
    QCOMPARE(tile.level, expectedLevel);
    QCOMPARE(tile.x, x);
    QCOMPARE(tile.y, y);
}

// Close markers share a group at coarse levels and part at fine ones; every marker is in exactly
// one group at every level; rows without a position have no marker.
void TestItemMarkerTiler::grouping()
{
    QStandardItemModel model;
    addRow(model, at(51.0913031421, 6.88878178596));
    addRow(model, at(51.06711205, 6.90020261667));
    addRow(model, at(51.087647318, 6.88282728201));
    addRow(model, at(41.4036480511, 2.1743756533));
    addRow(model, QVariant::fromValue(GeoCoordinates()));    // no position
    addRow(model, QVariant());                               // nothing at all
    addRow(model, QVariant(QStringLiteral("geo:1,1")));      // not coordinates
    QItemSelectionModel selection(&model);
    TestModelHelper helper(&model, &selection);
    ItemMarkerTiler tiler(&helper);

    QCOMPARE(tiler.markerCount(), 4);
    QCOMPARE(tiler.groupsAtLevel(0).size(), 1);
    QCOMPARE(tiler.groupsAtLevel(4).size(), 2);
    QCOMPARE(tiler.groupsAtLevel(ItemMarkerTiler::MaxLevel).size(), 4);

    for (int level = 0; level <= ItemMarkerTiler::MaxLevel; ++level) {
        int total = 0;
        for (const ItemMarkerTiler::Group &group : tiler.groupsAtLevel(level)) {
            total += group.markers.size();
            QCOMPARE(tiler.groupIndices(group).size(), group.markers.size());
            for (int marker : group.markers) {
                QCOMPARE(ItemMarkerTiler::tileIndexFor(tiler.markerCoordinates(marker), level), group.tile);
            }
        }
        QCOMPARE(total, 4);
    }

    // The group of the three Cologne points sits at their mean.
    const ItemMarkerTiler::Group cologne = tiler.groupsAtLevel(4).first();
    QCOMPARE(cologne.markers.size(), 3);
    QVERIFY(qAbs(cologne.coordinates.lat() - (51.0913031421 + 51.06711205 + 51.087647318) / 3) < 1e-9);
    QCOMPARE(tiler.groupIndices(cologne).first(), QPersistentModelIndex(model.index(0, 0)));
}

void TestItemMarkerTiler::followsTheModel()
{
    QStandardItemModel model;
    addRow(model, at(10, 10));
    QItemSelectionModel selection(&model);
    TestModelHelper helper(&model, &selection);
    ItemMarkerTiler tiler(&helper);
    QSignalSpy changed(&tiler, &ItemMarkerTiler::signalTilesOrSelectionChanged);
    QCOMPARE(tiler.markerCount(), 1);

    addRow(model, at(-10, -10));
    QVERIFY(!changed.isEmpty());
    QCOMPARE(tiler.markerCount(), 2);
    QCOMPARE(tiler.groupsAtLevel(0).size(), 2);

    model.setData(model.index(1, 0), at(11, 11), TestModelHelper::CoordinatesRole);
    QCOMPARE(tiler.groupsAtLevel(0).size(), 1);

    model.removeRow(0);
    QCOMPARE(tiler.markerCount(), 1);
    QCOMPARE(tiler.markerCoordinates(0), GeoCoordinates(11, 11));

    model.clear();
    QCOMPARE(tiler.markerCount(), 0);
    QVERIFY(tiler.groupsAtLevel(3).isEmpty());
    QVERIFY(!tiler.markerIndex(0).isValid());

    // The helper belongs to its model; a tiler that outlives both is empty, not dangling.
    auto *shortLived = new QStandardItemModel;
    addRow(*shortLived, at(1, 1));
    auto *helperOfShortLived = new TestModelHelper(shortLived, nullptr);
    ItemMarkerTiler orphan(helperOfShortLived);
    QCOMPARE(orphan.markerCount(), 1);
    delete shortLived;
    QVERIFY(!orphan.modelHelper());
    QCOMPARE(orphan.markerCount(), 0);
    QVERIFY(orphan.groupsAtLevel(5).isEmpty());
}

void TestItemMarkerTiler::selectionCounts()
{
    QStandardItemModel model;
    addRow(model, at(10, 10));
    addRow(model, at(10.001, 10.001));
    addRow(model, at(-40, 100));
    QItemSelectionModel selection(&model);
    TestModelHelper helper(&model, &selection);
    ItemMarkerTiler tiler(&helper);
    QCOMPARE(tiler.groupsAtLevel(2).at(0).selectedCount, 0);

    selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(tiler.groupsAtLevel(2).at(0).selectedCount, 1);
    QCOMPARE(tiler.groupsAtLevel(2).at(1).selectedCount, 0);
}

QTEST_GUILESS_MAIN(TestItemMarkerTiler)
#include "tst_itemmarkertiler.moc"
