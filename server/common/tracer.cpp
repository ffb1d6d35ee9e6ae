#include "tracer.h"

Tracer *Tracer::self()
{
    static Tracer instance;
    return &instance;
}

void Tracer::setBackend(TracerInterface *backend)
{
    QMutexLocker locker(&m_mutex);
    delete m_backend;
    m_backend = backend;
    m_active = backend != nullptr;
}

// Every call takes the same shape: lock, forward when a back-end is set.
#define TRACER_FORWARD(method)                                                                                         \
    void Tracer::method(const QString &first, const QString &msg)                                                      \
    {                                                                                                                  \
        QMutexLocker locker(&m_mutex);                                                                                 \
        if (m_backend)                                                                                                 \
            m_backend->method(first, msg);                                                                             \
    }

TRACER_FORWARD(beginConnection)
TRACER_FORWARD(endConnection)
TRACER_FORWARD(connectionInput)
TRACER_FORWARD(connectionOutput)
TRACER_FORWARD(signal)
TRACER_FORWARD(warning)
TRACER_FORWARD(error)

#undef TRACER_FORWARD
