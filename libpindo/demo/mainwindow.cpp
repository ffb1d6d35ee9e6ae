#include "mainwindow.h"
#include "demodragdrophandler.h"
#include "markermodelhelper.h"
#include "myimageitem.h"
#include "mytreewidget.h"

#include "itemmarkertiler.h"
#include "lookupaltitude.h"
#include "lookupfactory.h"
#include "pindowidget.h"
#include "pixmeta.h"

#include "daxappi18n.h"
#include "daxcommandline.h"
#include "daxconfig.h"
#include "daxfiledialog.h"
#include "daxiconloader.h"
#include "daxurl.h"

#include <QCloseEvent>
#include <QDebug>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>

using Pindo::GeoCoordinates;

namespace {
const char *const configFileName = "zelt-demo-1";

// Reports a broken assumption the way the map library's debug output does.
void reportAssertion(const char *condition, int line)
{
    qDebug().noquote() << QStringLiteral("ASSERT: %1 - %2:%3").arg(QLatin1String(condition), QLatin1String(__FILE__)).arg(line);
}
} // namespace

MainWindow::MainWindow(const DaxCommandLine *cmdLineArgs, QWidget *parent)
    : DaxMainWindow(parent)
    , m_cmdLineArgs(cmdLineArgs)
{
    initializeExiv2();

    m_treeWidget = new MyTreeWidget(this);
    m_treeWidget->setColumnCount(2);
    m_treeWidget->setHeaderLabels({i18n("Filename"), i18n("Coordinates")});
    m_treeWidget->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_markerModelHelper = new MarkerModelHelper(m_treeWidget->model(), m_treeWidget->selectionModel());
    m_tiler = new Pindo::ItemMarkerTiler(m_markerModelHelper, this);

    resize(512, 512);
    setWindowTitle(i18n("LibPindo demo"));
    setWindowIcon(DaxIconLoader::smallIcon(QStringLiteral("applications-internet")));
    setObjectName(QStringLiteral("Demo-Pindo"));

    m_imageLoadingBunchTimer = new QTimer(this);
    m_imageLoadingBunchTimer->setSingleShot(false);
    connect(m_imageLoadingBunchTimer, &QTimer::timeout, this, &MainWindow::slotImageLoadingBunchReady);

    statusBar();
    QMenu *fileMenu = menuBar()->addMenu(i18n("File"));
    QAction *addImagesAction = fileMenu->addAction(i18n("Add images..."));
    addImagesAction->setObjectName(QStringLiteral("addImages"));
    connect(addImagesAction, &QAction::triggered, this, &MainWindow::slotAddImages);
    helpMenu();

    m_splitter = new QSplitter(Qt::Vertical, this);
    setCentralWidget(m_splitter);
    m_mapWidget = new Pindo::PindoWidget(m_splitter);
    m_mapWidget->setGroupedModel(m_tiler);
    m_mapWidget->setActive(true);
    m_mapWidget->setDragDropHandler(new DemoDragDropHandler(m_treeWidget->model(), m_mapWidget));
    m_mapWidget->setVisibleMouseModes(Pindo::MouseModes(49));
    m_mapWidget->setAvailableMouseModes(Pindo::MouseModes(49));
    connect(m_markerModelHelper, &MarkerModelHelper::signalMarkersMoved, this, &MainWindow::slotMarkersMoved);
    m_splitter->addWidget(m_mapWidget);
    m_splitter->setCollapsible(0, false);
    m_splitter->setSizes({200});
    m_splitter->setStretchFactor(0, 10);

    auto *sidePanel = new QWidget(m_splitter);
    auto *sideLayout = new QVBoxLayout(sidePanel);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(m_mapWidget->getControlWidget());
    sideLayout->addWidget(m_treeWidget);
    m_splitter->addWidget(sidePanel);

    // Shown in the status bar only while images load.
    m_progressBar = new QProgressBar(statusBar());
    m_progressBar->setFormat(i18n("Loading images - %p%"));
    m_progressBar->hide();

    readSettings();

    if (m_cmdLineArgs
        && (m_cmdLineArgs->isSet(QStringLiteral("demopoints_single"))
            || m_cmdLineArgs->isSet(QStringLiteral("demopoints_group")))) {
        addDemoPoints();
    }
}

MainWindow::~MainWindow()
{
    // Worker threads may still be reading files; they must be done before libexiv2 is released.
    for (QFuture<MyImageData> &future : m_imageLoadingFutures) {
        future.waitForFinished();
    }
    cleanupExiv2();
}

void MainWindow::addDemoPoints()
{
    static const char *const points[] = {
        "geo:51.0913031421,6.88878178596,44", "geo:51.06711205,6.90020261667,43",
        "geo:51.087647318,6.88282728201,44",  "geo:51.0889433167,6.88000331667,39.6",
        "geo:51.1100157609,6.94911003113,51", "geo:41.4036480511,2.1743756533,46",
    };
    int number = 0;
    for (const char *point : points) {
        auto *item = new QTreeWidgetItem(m_treeWidget);
        item->setText(0, QStringLiteral("item %1").arg(number++));
        item->setText(1, QLatin1String(point));
    }
}

void MainWindow::readSettings()
{
    DaxConfig config(QLatin1String(configFileName), DaxConfig::FullConfig, QStringLiteral("config"));
    m_mapWidget->readSettingsFromGroup(config.group(QStringLiteral("WidgetConfig")));
    const DaxConfigGroup group = config.group(QStringLiteral("MainWindowConfig"));
    m_lastImageOpenDir = QUrl(group.readEntry(QStringLiteral("Last Image Open Directory"), QString()));
    if (group.hasKey(QStringLiteral("SplitterState"))) {
        const QByteArray state =
            QByteArray::fromBase64(group.readEntry(QStringLiteral("SplitterState"), QString()).toLatin1());
        if (!state.isEmpty()) {
            m_splitter->restoreState(state);
        }
    }
}

void MainWindow::saveSettings()
{
    DaxConfig config(QLatin1String(configFileName), DaxConfig::FullConfig, QStringLiteral("config"));
    DaxConfigGroup widgetGroup = config.group(QStringLiteral("WidgetConfig"));
    m_mapWidget->saveSettingsToGroup(widgetGroup);
    DaxConfigGroup group = config.group(QStringLiteral("MainWindowConfig"));
    group.writeEntry(QStringLiteral("Last Image Open Directory"), m_lastImageOpenDir.toString());
    group.writeEntry(QStringLiteral("SplitterState"), QString::fromLatin1(m_splitter->saveState().toBase64()));
    if (!config.sync()) {
        qWarning() << "Cannot write the settings to" << config.filePath();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    event->accept();
}

void MainWindow::slotAddImages()
{
    const QList<QUrl> urls = DaxFileDialog::getOpenUrls(m_lastImageOpenDir, QStringLiteral("*.jpg|*.jpeg|*.png"),
                                                        this, i18n("Add image files"));
    if (urls.isEmpty()) {
        return;
    }
    m_lastImageOpenDir = DaxUrl::directoryOf(urls.first());
    slotScheduleImagesForLoading(urls);
}

MyImageData MainWindow::loadImageData(const QUrl &url)
{
    MyImageData data;
    data.url = url;
    Pixmeta meta;
    double altitude = 0.0;
    double latitude = 0.0;
    double longitude = 0.0;
    if (meta.load(DaxUrl::localPath(url)) && meta.getGPSInfo(altitude, latitude, longitude)) {
        data.coordinates.setLatLon(latitude, longitude);
        if (!std::isnan(altitude)) {
            data.coordinates.setAlt(altitude);
        }
    }
    return data;
}

void MainWindow::slotScheduleImagesForLoading(const QList<QUrl> &imagesToSchedule)
{
    if (imagesToSchedule.isEmpty()) {
        return;
    }
    if (m_imageLoadingTotalCount == 0) {
        statusBar()->addPermanentWidget(m_progressBar);
        m_progressBar->show();
        m_imageLoadingBunchTimer->start(100);
    }
    m_imageLoadingTotalCount += imagesToSchedule.size();
    m_progressBar->setRange(0, m_imageLoadingTotalCount);
    m_progressBar->setValue(m_imageLoadingCurrentCount);

    auto *watcher = new QFutureWatcher<MyImageData>(this);
    connect(watcher, &QFutureWatcherBase::resultsReadyAt, this, &MainWindow::slotFutureResultsReadyAt);
    const QFuture<MyImageData> future = QtConcurrent::mapped(imagesToSchedule, &MainWindow::loadImageData);
    watcher->setFuture(future);
    m_imageLoadingFutures.append(future);
    m_imageLoadingFutureWatchers.append(watcher);
}

void MainWindow::slotFutureResultsReadyAt(int startIndex, int endIndex)
{
    QObject *futureSender = sender();
    if (!futureSender) {
        reportAssertion("futureSender!=0", __LINE__);
        return;
    }
    int futureIndex = -1;
    for (int i = 0; i < m_imageLoadingFutureWatchers.size(); ++i) {
        if (m_imageLoadingFutureWatchers.at(i) == futureSender) {
            futureIndex = i;
            break;
        }
    }
    if (futureIndex < 0) {
        reportAssertion("futureIndex>=0", __LINE__);
        return;
    }

    const QFuture<MyImageData> future = m_imageLoadingFutures.at(futureIndex);
    for (int i = startIndex; i < endIndex; ++i) {
        m_imageLoadingBuncher.append(future.resultAt(i));
    }
    m_imageLoadingCurrentCount += endIndex - startIndex;

    if (m_imageLoadingCurrentCount < m_imageLoadingTotalCount) {
        m_progressBar->setValue(m_imageLoadingCurrentCount);
        return;
    }

    statusBar()->removeWidget(m_progressBar);
    statusBar()->showMessage(i18np("%1 image has been loaded.", "%1 images have been loaded.", m_imageLoadingTotalCount),
                             3000);
    m_imageLoadingCurrentCount = 0;
    m_imageLoadingTotalCount = 0;
    // This slot runs inside one of these watchers' signals: they go once it has returned.
    for (QFutureWatcher<MyImageData> *watcher : std::as_const(m_imageLoadingFutureWatchers)) {
        watcher->disconnect(this);
        watcher->deleteLater();
    }
    m_imageLoadingFutureWatchers.clear();
    m_imageLoadingFutures.clear();
    m_imageLoadingBunchTimer->stop();
    QTimer::singleShot(0, this, &MainWindow::slotImageLoadingBunchReady);
}

void MainWindow::slotImageLoadingBunchReady()
{
    if (m_imageLoadingBuncher.isEmpty()) {
        return;
    }
    // One insertion per batch: the list and the markers are rebuilt once, not once per image.
    QList<QTreeWidgetItem *> items;
    items.reserve(m_imageLoadingBuncher.size());
    for (const MyImageData &data : std::as_const(m_imageLoadingBuncher)) {
        items.append(new MyImageItem(nullptr, data.url, data.coordinates));
    }
    m_imageLoadingBuncher.clear();
    m_treeWidget->addTopLevelItems(items);
    // File names as wide as they are; the list scrolls sideways when they and the coordinates
    // need more room than it has.
    m_treeWidget->resizeColumnToContents(0);
}

void MainWindow::slotMarkersMoved(const QList<QPersistentModelIndex> &markerIndices)
{
    QList<Pindo::LookupAltitude::Request> requests;
    for (const QPersistentModelIndex &index : markerIndices) {
        if (!index.isValid()) {
            continue;
        }
        Pindo::LookupAltitude::Request request;
        request.coordinates = index.data(MyImageItem::CoordinatesRole).value<GeoCoordinates>();
        request.data = QVariant::fromValue(index);
        if (request.coordinates.hasCoordinates()) {
            requests.append(request);
        }
    }
    if (requests.isEmpty()) {
        return;
    }
    Pindo::LookupAltitude *lookup = Pindo::LookupFactory::getAltitudeLookup(QStringLiteral("geonames"), this);
    if (!lookup) {
        statusBar()->showMessage(i18n("No altitude service is available."), 5000);
        return;
    }
    connect(lookup, &Pindo::LookupAltitude::signalRequestsReady, this, &MainWindow::slotAltitudeRequestsReady);
    connect(lookup, &Pindo::LookupAltitude::signalDone, this, &MainWindow::slotAltitudeLookupDone);
    lookup->addRequests(requests);
    m_lookups.append(lookup);
    lookup->startLookup();
}

void MainWindow::slotAltitudeRequestsReady(const QList<int> &readyRequests)
{
    auto *lookup = qobject_cast<Pindo::LookupAltitude *>(sender());
    if (!lookup) {
        return;
    }
    for (int number : readyRequests) {
        const Pindo::LookupAltitude::Request request = lookup->getRequest(number);
        const QPersistentModelIndex index = request.data.value<QPersistentModelIndex>();
        if (!index.isValid()) {
            continue;
        }
        // A marker moved again while this answer was on its way keeps its newer place.
        const GeoCoordinates current = index.data(MyImageItem::CoordinatesRole).value<GeoCoordinates>();
        if (!current.sameLonLatAs(request.coordinates)) {
            continue;
        }
        m_treeWidget->model()->setData(index, QVariant::fromValue(request.coordinates), MyImageItem::CoordinatesRole);
    }
}

void MainWindow::slotAltitudeLookupDone()
{
    auto *lookup = qobject_cast<Pindo::LookupAltitude *>(sender());
    if (!lookup) {
        return;
    }
    if (lookup->getStatus() == Pindo::LookupAltitude::StatusError) {
        statusBar()->showMessage(lookup->errorMessage(), 5000);
    }
    m_lookups.removeAll(QPointer<Pindo::LookupAltitude>(lookup));
    lookup->deleteLater();
}
