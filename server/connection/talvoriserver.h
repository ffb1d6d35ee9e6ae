#ifndef TALVORI_TALVORISERVER_H
#define TALVORI_TALVORISERVER_H

#include <QList>
#include <QLocalServer>
#include <QPointer>

class TalvoriConnection;

// The process-wide server: listens on the named pipe, publishes the connection settings clients
// read, and runs one TalvoriConnection thread per client until quit() shuts everything down.
class TalvoriServer : public QLocalServer
{
    Q_OBJECT
public:
    static TalvoriServer *instance();

public Q_SLOTS:
    void quit();

private Q_SLOTS:
    void doQuit();

protected:
    void incomingConnection(quintptr socketDescriptor) override;

private:
    explicit TalvoriServer(QObject *parent = nullptr);
    bool listenOnPipe(const QString &name);

    QList<QPointer<TalvoriConnection>> m_connections;
    bool m_alreadyShutdown = false;
};

#endif
