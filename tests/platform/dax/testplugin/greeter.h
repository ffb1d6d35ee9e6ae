#ifndef GREETER_H
#define GREETER_H

#include <QObject>

// The interface the test plug-in offers; the test asks the factory for it.
class Greeter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual QString greet(const QString &name) const = 0;
};

#endif
