#pragma once

#include "myimagedata.h"

#include "daxmainwindow.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QUrl>

class DaxCommandLine;
class MarkerModelHelper;
class MyTreeWidget;
class QCloseEvent;
class QProgressBar;
class QSplitter;
class QTimer;

namespace Pindo
{
class ItemMarkerTiler;
class LookupAltitude;
class PindoWidget;
}

// The demo's window: the map above a panel with the map's controls and the image list. Images
// are read in Qt's global thread pool and enter the list in batches every 100 ms.
class MainWindow : public DaxMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(const DaxCommandLine *cmdLineArgs, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads the images' positions in the background; they join the current loading run if one is
    // going on.
    static MyImageData loadImageData(const QUrl &url);

public Q_SLOTS:
    void slotScheduleImagesForLoading(const QList<QUrl> &imagesToSchedule);

protected:
    void closeEvent(QCloseEvent *event) override;

private Q_SLOTS:
    void slotFutureResultsReadyAt(int startIndex, int endIndex);
    void slotImageLoadingBunchReady();
    void slotMarkersMoved(const QList<QPersistentModelIndex> &markerIndices);
    void slotAltitudeRequestsReady(const QList<int> &readyRequests);
    void slotAltitudeLookupDone();
    void slotAddImages();

private:
    void readSettings();
    void saveSettings();
    void addDemoPoints();

    QSplitter *m_splitter = nullptr;
    Pindo::PindoWidget *m_mapWidget = nullptr;
    MyTreeWidget *m_treeWidget = nullptr;
    MarkerModelHelper *m_markerModelHelper = nullptr;
    Pindo::ItemMarkerTiler *m_tiler = nullptr;
    QProgressBar *m_progressBar = nullptr;

    // The loading run: every batch scheduled since the last run ended, in start order.
    QList<QFuture<MyImageData>> m_imageLoadingFutures;
    QList<QFutureWatcher<MyImageData> *> m_imageLoadingFutureWatchers;
    int m_imageLoadingTotalCount = 0;
    int m_imageLoadingCurrentCount = 0;
    QList<MyImageData> m_imageLoadingBuncher;
    QTimer *m_imageLoadingBunchTimer = nullptr;

    QList<QPointer<Pindo::LookupAltitude>> m_lookups;
    QUrl m_lastImageOpenDir;
    const DaxCommandLine *m_cmdLineArgs;
};
