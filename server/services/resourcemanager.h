#ifndef TALVORI_RESOURCEMANAGER_H
#define TALVORI_RESOURCEMANAGER_H

#include <QObject>
#include <QStringList>

// The bus-facing registry of resources: a resource instance is announced here when it is created
// and withdrawn when it is deleted, together with everything it owns. Runs on the main thread.
class ResourceManager : public QObject
{
    Q_OBJECT
public:
    static ResourceManager *self();

public Q_SLOTS:
    void addResourceInstance(const QString &name, const QStringList &capabilities);
    void removeResourceInstance(const QString &name);

private:
    ResourceManager();
};

#endif
