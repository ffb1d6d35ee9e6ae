#ifndef TALVORI_ITEMRETRIEVALTHREAD_H
#define TALVORI_ITEMRETRIEVALTHREAD_H

#include <QSemaphore>
#include <QThread>

// The thread the item retrieval manager lives in, with its jobs and bus proxies: it makes the
// manager when it starts and deletes it when told to quit, which fails whatever is still waiting.
class ItemRetrievalThread : public QThread
{
    Q_OBJECT
public:
    explicit ItemRetrievalThread(QObject *parent = nullptr);

    // Starts the thread and returns once the manager takes requests, so that no client served
    // from then on finds retrieval missing.
    void startManager(Priority priority);

protected:
    void run() override;

private:
    QSemaphore m_managerReady;
};

#endif
