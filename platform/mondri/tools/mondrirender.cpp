// mondri-render: renders a KML file to a PNG image with the map's render plug-ins, no desktop needed.

#include "datafacade.h"
#include "maprenderer.h"
#include "pluginmanager.h"
#include "pngwriter.h"
#include "viewportparams.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QImage>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace Mondri;

namespace {

constexpr int UsageError = 2;
constexpr int Failure = 1;
constexpr int MaximumSide = 16384;
// Room around the content in the default view, so markers and the start of their labels at its
// edge stay in the picture.
constexpr double ContentMargin = 0.05;
constexpr int MarginPixels = 32;

void report(const QString &message)
{
    std::fprintf(stderr, "mondri-render: %s\n", qPrintable(message));
}

int fail(int code, const QString &message)
{
    report(message);
    return code;
}

// The loaded content with a margin of a fraction of its size and some pixels more; the whole
// globe when nothing was loaded.
GeoDataLatLonBox defaultBox(const MapRenderer &renderer, const QSize &size)
{
    const GeoDataLatLonBox content = renderer.contentBox();
    if (content.isEmpty())
        return GeoDataLatLonBox(-180, -90, 180, 90);
    const GeoDataLatLonBox box = content.marginAdded(ContentMargin, 0.001);
    const double pixels = ViewportParams(size, box).pixelsPerDegree();
    const double extra = MarginPixels / pixels;
    return GeoDataLatLonBox(box.west() - extra, std::max(box.south() - extra, -90.0), box.east() + extra,
                            std::min(box.north() + extra, 90.0));
}

bool parseSize(const QString &text, QSize *size)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return false;
    bool okWidth = false;
    bool okHeight = false;
    const int width = parts[0].toInt(&okWidth);
    const int height = parts[1].toInt(&okHeight);
    if (!okWidth || !okHeight || width < 1 || height < 1 || width > MaximumSide || height > MaximumSide)
        return false;
    *size = QSize(width, height);
    return true;
}

bool parseBox(const QString &text, GeoDataLatLonBox *box)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    double values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return false;
    }
    const double west = values[0], south = values[1], east = values[2], north = values[3];
    // Below a millionth of a degree (about 10 cm) nothing in a KML file is worth seeing.
    if (west < -360 || east > 360 || south < -90 || north > 90 || east - west < 1e-6 || north - south < 1e-6)
        return false;
    *box = GeoDataLatLonBox(west, south, east, north);
    return true;
}

bool parseQuality(const QString &text, MapQuality *quality)
{
    if (text == u"normal")
        *quality = NormalQuality;
    else if (text == u"high")
        *quality = HighQuality;
    else if (text == u"print")
        *quality = PrintQuality;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // The tool never shows a window, so it needs no display unless the caller asks for one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mondri-render"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders the placemarks, line strings and polygons of a KML file to a PNG image."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("input"), QStringLiteral("The KML file."));
    const QCommandLineOption outputOption({ QStringLiteral("o"), QStringLiteral("output") },
                                          QStringLiteral("The PNG file to write."), QStringLiteral("file"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Image size (default 1024x768)."),
                                        QStringLiteral("WxH"), QStringLiteral("1024x768"));
    const QCommandLineOption boxOption(QStringLiteral("bbox"),
                                       QStringLiteral("Area to show in degrees (default: the content with a margin)."),
                                       QStringLiteral("west,south,east,north"));
    const QCommandLineOption qualityOption(QStringLiteral("quality"), QStringLiteral("normal, high or print (default normal)."),
                                           QStringLiteral("quality"), QStringLiteral("normal"));
    const QCommandLineOption backgroundOption(QStringLiteral("background"),
                                              QStringLiteral("Background colour (default #8c96a0)."),
                                              QStringLiteral("colour"), QStringLiteral("#8c96a0"));
    const QCommandLineOption pluginsOption(QStringLiteral("plugins"), QStringLiteral("Directory of the render plug-ins."),
                                           QStringLiteral("dir"), PluginManager::defaultPluginDirectory());
    const QCommandLineOption statsOption(QStringLiteral("stats"),
                                         QStringLiteral("Print load and render times and painter state changes."));
    const QCommandLineOption strictOption(QStringLiteral("strict"),
                                          QStringLiteral("Fail (no image, exit code 1) on the first element that cannot be used, instead of skipping it with a warning."));
    parser.addOptions({ outputOption, sizeOption, boxOption, qualityOption, backgroundOption, pluginsOption, statsOption,
                        strictOption });
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(UsageError, parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);

    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() != 1)
        return fail(UsageError, QStringLiteral("give exactly one input file (see --help)"));
    const QString output = parser.value(outputOption);
    if (output.isEmpty())
        return fail(UsageError, QStringLiteral("give the output file with -o (see --help)"));
    QSize size;
    if (!parseSize(parser.value(sizeOption), &size))
        return fail(UsageError, QStringLiteral("--size wants WxH with sides from 1 to %1, not \"%2\"")
                                    .arg(MaximumSide).arg(parser.value(sizeOption)));
    GeoDataLatLonBox box;
    if (parser.isSet(boxOption) && !parseBox(parser.value(boxOption), &box))
        return fail(UsageError, QStringLiteral("--bbox wants west,south,east,north in degrees with west < east and south < north, not \"%1\"")
                                    .arg(parser.value(boxOption)));
    MapQuality quality = NormalQuality;
    if (!parseQuality(parser.value(qualityOption), &quality))
        return fail(UsageError, QStringLiteral("--quality wants normal, high or print, not \"%1\"").arg(parser.value(qualityOption)));
    const QColor background = QColor::fromString(parser.value(backgroundOption));
    if (!background.isValid())
        return fail(UsageError, QStringLiteral("--background: \"%1\" is not a colour").arg(parser.value(backgroundOption)));

    QElapsedTimer timer;
    timer.start();
    MapRenderer renderer;
    const QString input = inputs.front();
    renderer.dataFacade()->setStrict(parser.isSet(strictOption));
    if (!renderer.dataFacade()->loadFile(input))
        return fail(Failure, QStringLiteral("%1: %2").arg(input, renderer.dataFacade()->errorString()));
    for (const QString &warning : renderer.dataFacade()->warnings())
        report(QStringLiteral("%1: %2").arg(input, warning));
    const qint64 loadTime = timer.restart();

    if (renderer.loadPlugins(parser.value(pluginsOption)) == 0) {
        QString message = QStringLiteral("no render plug-ins in %1").arg(parser.value(pluginsOption));
        for (const QString &error : renderer.pluginErrors())
            message += QLatin1String("\n  ") + error;
        return fail(Failure, message);
    }

    if (!parser.isSet(boxOption))
        box = defaultBox(renderer, size);
    const ViewportParams viewport(size, box);
    // Without transparency the PNG needs no alpha channel, which makes it smaller and faster to write.
    QImage image(size, background.alpha() == 255 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    timer.restart();
    if (!renderer.render(&image, viewport, quality))
        return fail(Failure, QStringLiteral("%1: a render plug-in could not paint").arg(input));
    const qint64 renderTime = timer.restart();

    // Written to a temporary file and renamed, so a failed run never leaves half an image behind.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        return fail(Failure, QStringLiteral("%1: %2").arg(output, file.errorString()));
    PngWriter writer;
    if (!writer.write(image, &file)) {
        file.cancelWriting();
        return fail(Failure, QStringLiteral("%1: %2").arg(output, writer.errorString()));
    }
    if (!file.commit())
        return fail(Failure, QStringLiteral("%1: %2").arg(output, file.errorString()));
    const qint64 writeTime = timer.elapsed();

    if (parser.isSet(statsOption)) {
        std::printf("load_ms %lld\nrender_ms %lld\nwrite_ms %lld\npen_changes %d\nbrush_changes %d\n",
                    static_cast<long long>(loadTime), static_cast<long long>(renderTime),
                    static_cast<long long>(writeTime), renderer.penChangeCount(), renderer.brushChangeCount());
    }
    // The image is written and committed. Freeing a large map object by object would take longer
    // than the system needs to drop the whole process at once.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}
