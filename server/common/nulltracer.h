#ifndef TALVORI_NULLTRACER_H
#define TALVORI_NULLTRACER_H

#include "common/tracerinterface.h"

// The default back-end, "null": traces nothing.
class NullTracer : public TracerInterface
{
public:
    void beginConnection(const QString &, const QString &) override {}
    void endConnection(const QString &, const QString &) override {}
    void connectionInput(const QString &, const QString &) override {}
    void connectionOutput(const QString &, const QString &) override {}
    void signal(const QString &, const QString &) override {}
    void warning(const QString &, const QString &) override {}
    void error(const QString &, const QString &) override {}
};

#endif
