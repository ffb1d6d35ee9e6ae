#ifndef TALVORI_DEBUGINTERFACE_H
#define TALVORI_DEBUGINTERFACE_H

#include <QObject>
#include <QString>

// "/debug": lets a bus client ask which tracer back-end is active and switch it.
class DebugInterface : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.DebugInterface")
public:
    explicit DebugInterface(QObject *parent = nullptr);

public Q_SLOTS:
    QString tracer() const;
    void setTracer(const QString &tracer);
};

#endif
