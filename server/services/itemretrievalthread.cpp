#include "itemretrievalthread.h"

#include "itemretrievalmanager.h"

ItemRetrievalThread::ItemRetrievalThread(QObject *parent)
    : QThread(parent)
{
}

void ItemRetrievalThread::startManager(Priority priority)
{
    start(priority);
    m_managerReady.acquire();
}

void ItemRetrievalThread::run()
{
    ItemRetrievalManager manager;
    m_managerReady.release();
    exec();
}
