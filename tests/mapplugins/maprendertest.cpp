#include "maprendertest.h"

#include "datafacade.h"
#include "maprenderer.h"
#include "viewportparams.h"

#include <QBuffer>
#include <QDir>

using namespace Mondri;

QString MapRenderTest::pluginDirectory()
{
    return QDir(qEnvironmentVariable("TALVORI_BUILD_DIR")).filePath(QStringLiteral("plugins"));
}

bool MapRenderTest::load(MapRenderer *renderer, const QByteArray &kml)
{
    QBuffer buffer;
    buffer.setData(kml);
    buffer.open(QIODevice::ReadOnly);
    if (!renderer->dataFacade()->load(&buffer)) {
        qWarning("%s", qPrintable(renderer->dataFacade()->errorString()));
        return false;
    }
    return true;
}

QImage MapRenderTest::render(MapRenderer *renderer, MapQuality quality, bool *ok)
{
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Background);
    const bool rendered = renderer->render(&image, ViewportParams(image.size(), GeoDataLatLonBox(0, 0, 10, 10)), quality);
    if (ok)
        *ok = rendered;
    return image;
}

QString MapRenderTest::mismatch(const QImage &image, const QList<QPoint> &probes, const QList<QColor> &colours)
{
    for (qsizetype i = 0; i < probes.size(); ++i) {
        const QColor actual = image.pixelColor(probes[i]);
        const QColor &expected = colours[i];
        const bool close = qAbs(actual.red() - expected.red()) <= 2 && qAbs(actual.green() - expected.green()) <= 2
            && qAbs(actual.blue() - expected.blue()) <= 2 && actual.alpha() == 255;
        if (!close) {
            return QStringLiteral("pixel (%1,%2) is %3, expected %4")
                .arg(probes[i].x()).arg(probes[i].y()).arg(actual.name(QColor::HexArgb), expected.name(QColor::HexArgb));
        }
    }
    return {};
}
