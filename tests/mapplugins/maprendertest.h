#pragma once

#include "mondriglobal.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

namespace Mondri {
class MapRenderer;
}

// What the map plug-in tests share: the plug-ins of the build, content loaded from KML text, and
// images of 100 by 100 pixels showing 0..10 degrees each way (lon x is column 10x, lat y is row
// 100 - 10y) checked pixel by pixel.
class MapRenderTest
{
public:
    static inline const QColor Background = QColor(10, 20, 30);
    static inline const QColor Red = QColor(255, 0, 0);
    static inline const QColor Green = QColor(0, 255, 0);
    static inline const QColor Blue = QColor(0, 0, 255);

    static QString pluginDirectory();
    // Loads the KML text into the renderer's data; false (with a warning) when it cannot be read.
    static bool load(Mondri::MapRenderer *renderer, const QByteArray &kml);
    // Renders onto the background; ok tells whether every plug-in could paint.
    static QImage render(Mondri::MapRenderer *renderer, Mondri::MapQuality quality = Mondri::NormalQuality,
                         bool *ok = nullptr);
    // Empty when every probed pixel has its colour (within two steps, which smoothing may round
    // off); otherwise what differs.
    static QString mismatch(const QImage &image, const QList<QPoint> &probes, const QList<QColor> &colours);
};
