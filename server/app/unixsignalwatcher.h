#ifndef TALVORI_UNIXSIGNALWATCHER_H
#define TALVORI_UNIXSIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the main thread. A signal handler may do almost
// nothing, so it only writes a byte into a socket pair that the event loop watches.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

Q_SIGNALS:
    void terminationRequested();

private:
    static void handleSignal(int signalNumber);
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

#endif
