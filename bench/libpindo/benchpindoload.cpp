// Reads the GPS position of N photos (copies of the shared test photos when they are there, else
// of one tagged photo made with the exiv2 program) through the demo window's concurrent load, and
// compares with one "exiv2 -pt" run over the same files. Prints wall times in milliseconds.
//
// usage: bench-pindo-load [count] [shared images dir]

#include "mainwindow.h"
#include "mytreewidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

QStringList sourcePhotos(const QString &sharedImages, const QString &workDir)
{
    QStringList sources;
    const QDir dir(sharedImages);
    for (const QString &name : dir.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.png"), QStringLiteral("*.tif")}, QDir::Files, QDir::Name)) {
        sources.append(dir.filePath(name));
    }
    if (!sources.isEmpty()) {
        return sources;
    }
    // No shared photos: one small JPEG tagged by the exiv2 program.
    const QString made = workDir + QStringLiteral("/made.jpg");
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    image.save(made, "JPEG");
    const int rc = QProcess::execute(QStringLiteral("exiv2"),
                                     {QStringLiteral("-M"), QStringLiteral("set Exif.GPSInfo.GPSLatitudeRef N"),
                                      QStringLiteral("-M"), QStringLiteral("set Exif.GPSInfo.GPSLatitude 50/1 17/1 5857/100"),
                                      QStringLiteral("-M"), QStringLiteral("set Exif.GPSInfo.GPSLongitudeRef E"),
                                      QStringLiteral("-M"), QStringLiteral("set Exif.GPSInfo.GPSLongitude 14/1 49/1 1306/100"),
                                      made});
    if (rc != 0) {
        std::fprintf(stderr, "exiv2 could not tag %s\n", qPrintable(made));
    }
    return {made};
}

// Runs the event loop until done() holds; false after timeoutMs.
template<typename Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// CPU time used so far, in milliseconds: of this process (all threads) or of its finished children.
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    const QString shared = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    constexpr int rounds = 3;

    QTemporaryDir work;
    const QStringList sources = sourcePhotos(shared, work.path());
    QStringList files;
    QList<QUrl> urls;
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        const QString source = sources.at(i % sources.size());
        const QString target = work.filePath(QStringLiteral("%1-%2").arg(i, 5, 10, QLatin1Char('0')).arg(QFileInfo(source).fileName()));
        QFile::copy(source, target);
        bytes += QFileInfo(target).size();
        files.append(target);
        urls.append(QUrl::fromLocalFile(target));
    }
    std::printf("photos: %d copies of %d source file(s), %.1f MB, thread pool: %d threads\n", count, int(sources.size()),
                bytes / 1e6, QThreadPool::globalInstance()->maxThreadCount());

    QList<double> windowTimes;
    QList<double> mapTimes;
    QList<double> exivTimes;
    QList<double> windowCpu;
    QList<double> mapCpu;
    QList<double> exivCpu;
    int withPosition = 0;
    for (int round = 0; round < rounds; ++round) {
        {
            MainWindow window(nullptr);
            auto *tree = window.findChild<MyTreeWidget *>();
            QElapsedTimer timer;
            const double cpuBefore = cpuMs(RUSAGE_SELF);
            timer.start();
            window.slotScheduleImagesForLoading(urls);
            if (!waitFor([&]() { return tree->topLevelItemCount() == count; }, 600000)) {
                std::fprintf(stderr, "the window did not list all photos\n");
                return 1;
            }
            windowTimes.append(timer.nsecsElapsed() / 1e6);
            windowCpu.append(cpuMs(RUSAGE_SELF) - cpuBefore);
            withPosition = 0;
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                withPosition += tree->topLevelItem(i)->text(1).isEmpty() ? 0 : 1;
            }
        }
        {
            QElapsedTimer timer;
            const double cpuBefore = cpuMs(RUSAGE_SELF);
            timer.start();
            const QList<MyImageData> results = QtConcurrent::blockingMapped(urls, &MainWindow::loadImageData);
            mapTimes.append(timer.nsecsElapsed() / 1e6);
            mapCpu.append(cpuMs(RUSAGE_SELF) - cpuBefore);
        }
        {
            QProcess exiv2;
            exiv2.setStandardOutputFile(QProcess::nullDevice());
            exiv2.setStandardErrorFile(QProcess::nullDevice());
            QElapsedTimer timer;
            const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
            timer.start();
            exiv2.start(QStringLiteral("exiv2"), QStringList{QStringLiteral("-pt")} + files);
            if (!exiv2.waitForFinished(600000)) {
                std::fprintf(stderr, "exiv2 did not run\n");
                return 1;
            }
            exivTimes.append(timer.nsecsElapsed() / 1e6);
            exivCpu.append(cpuMs(RUSAGE_CHILDREN) - cpuBefore);
        }
    }
    std::printf("rows with a position: %d of %d\n", withPosition, count);
    auto line = [](const char *what, const QList<double> &wall, const QList<double> &cpu) {
        std::printf("%s: wall median %.1f ms (best %.1f), CPU median %.1f ms\n", what, median(wall),
                    *std::min_element(wall.begin(), wall.end()), median(cpu));
    };
    std::printf("%d rounds each\n", rounds);
    line("demo window load (schedule -> all rows listed)", windowTimes, windowCpu);
    line("load function alone (QtConcurrent::blockingMapped)", mapTimes, mapCpu);
    line("exiv2 -pt over the same files, one process", exivTimes, exivCpu);
    return 0;
}
