// Writes the benchmark's map content: a KML file of random line strings and polygons in runs of
// equal style, spread over a 32 by 18 degree box (the shape of a 1920x1080 image). The random
// generator is seeded, so every run draws the same picture.
//
// mondri-benchdata out.kml [lineStrings] [polygons]

#include <QColor>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int LineVertices = 15;
constexpr int PolygonVertices = 25;     // closing position included
constexpr int HoleVertices = 9;         // every fifth polygon has a hole
constexpr int RunLength = 500;          // placemarks in a row that share a style
constexpr int StyleCount = 8;
constexpr double Width = 32.0;
constexpr double Height = 18.0;

void appendPosition(QByteArray &out, double lon, double lat)
{
    out += QByteArray::number(lon, 'f', 6);
    out += ',';
    out += QByteArray::number(lat, 'f', 6);
    out += ' ';
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: mondri-benchdata out.kml [lineStrings] [polygons]\n");
        return 2;
    }
    const int lineCount = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int polygonCount = argc > 3 ? std::atoi(argv[3]) : 20000;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "mondri-benchdata: %s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    QRandomGenerator random(20261210);
    long long vertices = 0;

    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                     "<Document><name>bench</name>\n";
    for (int s = 0; s < StyleCount; ++s) {
        const QColor line = QColor::fromHsv(s * 360 / StyleCount, 220, 200);
        const QColor fill = QColor::fromHsv(s * 360 / StyleCount, 120, 230);
        out += QStringLiteral("<Style id=\"s%1\"><LineStyle><color>ff%2%3%4</color><width>%5</width></LineStyle>"
                              "<PolyStyle><color>a0%6%7%8</color></PolyStyle></Style>\n")
                   .arg(s)
                   .arg(line.blue(), 2, 16, QLatin1Char('0')).arg(line.green(), 2, 16, QLatin1Char('0'))
                   .arg(line.red(), 2, 16, QLatin1Char('0')).arg(1 + s % 2)
                   .arg(fill.blue(), 2, 16, QLatin1Char('0')).arg(fill.green(), 2, 16, QLatin1Char('0'))
                   .arg(fill.red(), 2, 16, QLatin1Char('0'))
                   .toUtf8();
    }

    for (int i = 0; i < lineCount; ++i) {
        out += "<Placemark><styleUrl>#s" + QByteArray::number((i / RunLength) % StyleCount)
            + "</styleUrl><LineString><coordinates>";
        double lon = random.bounded(Width);
        double lat = random.bounded(Height);
        for (int v = 0; v < LineVertices; ++v) {
            appendPosition(out, lon, lat);
            lon = std::clamp(lon + random.bounded(0.1) - 0.05, 0.0, Width);
            lat = std::clamp(lat + random.bounded(0.1) - 0.05, 0.0, Height);
        }
        vertices += LineVertices;
        out += "</coordinates></LineString></Placemark>\n";
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
    }

    for (int i = 0; i < polygonCount; ++i) {
        out += "<Placemark><styleUrl>#s" + QByteArray::number((i / RunLength) % StyleCount)
            + "</styleUrl><Polygon><outerBoundaryIs><LinearRing><coordinates>";
        const double lon = 0.3 + random.bounded(Width - 0.6);
        const double lat = 0.3 + random.bounded(Height - 0.6);
        const double radius = 0.05 + random.bounded(0.2);
        double firstLon = 0.0;
        double firstLat = 0.0;
        for (int v = 0; v < PolygonVertices - 1; ++v) {
            const double angle = 2 * M_PI * v / (PolygonVertices - 1);
            const double r = radius * (0.7 + random.bounded(0.3));
            const double x = lon + r * std::cos(angle);
            const double y = lat + r * std::sin(angle);
            if (v == 0) {
                firstLon = x;
                firstLat = y;
            }
            appendPosition(out, x, y);
        }
        // KML rings end on their first position.
        appendPosition(out, firstLon, firstLat);
        vertices += PolygonVertices;
        out += "</coordinates></LinearRing></outerBoundaryIs>";
        if (i % 5 == 0) {
            out += "<innerBoundaryIs><LinearRing><coordinates>";
            for (int v = 0; v < HoleVertices; ++v) {
                const double angle = 2 * M_PI * (v % (HoleVertices - 1)) / (HoleVertices - 1);
                appendPosition(out, lon + 0.3 * radius * std::cos(angle), lat + 0.3 * radius * std::sin(angle));
            }
            vertices += HoleVertices;
            out += "</coordinates></LinearRing></innerBoundaryIs>";
        }
        out += "</Polygon></Placemark>\n";
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    out += "</Document>\n</kml>\n";
    file.write(out);
    if (!file.flush()) {
        std::fprintf(stderr, "mondri-benchdata: %s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    std::printf("line_strings %d\npolygons %d\nvertices %lld\nstyle_runs %d\nfile_bytes %lld\n", lineCount, polygonCount,
                vertices, (lineCount + RunLength - 1) / RunLength + (polygonCount + RunLength - 1) / RunLength,
                static_cast<long long>(file.size()));
    return 0;
}
