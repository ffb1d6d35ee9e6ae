// Groups N markers (half spread over the world, half around 40 towns) into tiles at every level,
// as the map does at each zoom step, and draws the map at a few zoom levels. Prints milliseconds.
//
// usage: bench-pindo-tiling [count]

#include "markermodelhelper.h"
#include "myimageitem.h"

#include "itemmarkertiler.h"
#include "pindowidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QStandardItemModel>

#include <cstdio>
#include <ctime>

using Pindo::GeoCoordinates;

namespace {
// CPU time of this thread in milliseconds: steadier than wall time on a busy machine.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50000;

    QRandomGenerator random(20260101);
    QList<GeoCoordinates> towns;
    for (int i = 0; i < 40; ++i) {
        towns.append(GeoCoordinates(random.bounded(120.0) - 60.0, random.bounded(360.0) - 180.0));
    }
    QStandardItemModel model;
    QList<QStandardItem *> items;
    for (int i = 0; i < count; ++i) {
        GeoCoordinates place;
        if (i % 2 == 0) {
            place = GeoCoordinates(random.bounded(180.0) - 90.0, random.bounded(360.0) - 180.0);
        } else {
            const GeoCoordinates &town = towns.at(i % towns.size());
            place = GeoCoordinates(qBound(-90.0, town.lat() + random.bounded(0.2) - 0.1, 90.0),
                                   qBound(-180.0, town.lon() + random.bounded(0.2) - 0.1, 180.0));
        }
        auto *item = new QStandardItem;
        item->setData(QVariant::fromValue(place), MyImageItem::CoordinatesRole);
        items.append(item);
    }
    model.appendColumn(items);
    QItemSelectionModel selection(&model);
    MarkerModelHelper helper(&model, &selection);
    Pindo::ItemMarkerTiler tiler(&helper);

    QElapsedTimer timer;
    timer.start();
    double cpu = threadCpuMs();
    const int markers = tiler.markerCount();
    std::printf("markers: %d; reading their positions from the model: %.2f ms wall, %.2f ms CPU\n", markers,
                timer.nsecsElapsed() / 1e6, threadCpuMs() - cpu);

    std::printf("level  zoom  groups  wall ms   CPU ms\n");
    double total = 0;
    double totalCpu = 0;
    for (int level = 0; level <= Pindo::ItemMarkerTiler::MaxLevel; ++level) {
        timer.restart();
        cpu = threadCpuMs();
        const int groups = tiler.groupsAtLevel(level).size();
        const double ms = timer.nsecsElapsed() / 1e6;
        const double cpuMs = threadCpuMs() - cpu;
        total += ms;
        totalCpu += cpuMs;
        std::printf("%5d  %4d  %6d  %7.2f  %7.2f\n", level, level - 2, groups, ms, cpuMs);
    }
    std::printf("all %d levels: %.2f ms wall, %.2f ms CPU\n", Pindo::ItemMarkerTiler::MaxLevel + 1, total, totalCpu);

    // A selection change regroups the level on screen (selection counts).
    selection.select(model.index(1, 0), QItemSelectionModel::Select);
    timer.restart();
    tiler.groupsAtLevel(6);
    std::printf("regrouping level 6 after a selection change: %.2f ms\n", timer.nsecsElapsed() / 1e6);

    Pindo::PindoWidget map;
    map.resize(1024, 600);
    map.setGroupedModel(&tiler);
    map.setActive(true);
    for (int zoom : {0, 4, 8}) {
        map.setZoomLevel(zoom);
        map.setCenter(towns.first());
        map.grab(); // groups of this level made outside the timing
        timer.restart();
        map.grab();
        std::printf("drawing 1024x600 at zoom %d: %.2f ms\n", zoom, timer.nsecsElapsed() / 1e6);
    }
    return 0;
}
