#include "talvoriserver.h"

#include "common/busobject.h"
#include "common/log.h"
#include "common/privatefiles.h"
#include "common/tracer.h"
#include "search/searchmanager.h"
#include "search/sorvanisearch.h"
#include "serveradaptor.h"
#include "services/cachecleaner.h"
#include "services/debuginterface.h"
#include "services/intervalcheck.h"
#include "services/itemretrievalthread.h"
#include "services/notificationmanager.h"
#include "services/preprocessormanager.h"
#include "services/resourcemanager.h"
#include "storage/datastore.h"
#include "storage/dbconfig.h"
#include "storage/parthelper.h"
#include "talvoriconnection.h"

#include <xdgbasedirs.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QSettings>
#include <QSqlError>
#include <QTimer>

#include <climits>

static TalvoriServer *s_instance = nullptr;

namespace {
// How long a shut-down lets the connections finish their commands before cutting their clients
// off, and how long it then waits for them to end.
constexpr int ConnectionGraceMs = 1000;
constexpr int ConnectionStopMs = 3000;
}

TalvoriServer *TalvoriServer::instance()
{
    if (!s_instance)
        new TalvoriServer;
    return s_instance;
}

TalvoriServer::TalvoriServer(QObject *parent)
    : QLocalServer(parent)
{
    QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);

    restrictDataDirectory();

    DbConfig *dbConfig = DbConfig::configuredDatabase();
    dbConfig->init(settings);
    if (dbConfig->useInternalServer())
        startDatabaseProcess();
    else
        createDatabase();

    s_instance = this;

    QSettings connectionSettings(XdgBaseDirs::talvoriConnectionConfigFile(XdgBaseDirs::WriteOnly), QSettings::IniFormat);

    const QString pipeName = settings.value(QStringLiteral("Connection/NamedPipe"), QStringLiteral("Talvori")).toString();
    readParserLimits(settings);
    const QString pipePath = ServerSocket::pathFor(pipeName);
    if (!listenOnPipe(pipePath))
        logFatal() << "Unable to listen on Named Pipe" << pipePath;

    // Clients find the socket by its full path: a relative name lives in a directory of ours.
    connectionSettings.setValue(QStringLiteral("Data/Method"), QStringLiteral("NamedPipe"));
    connectionSettings.setValue(QStringLiteral("Data/NamedPipe"), pipePath);
    syncPrivately(connectionSettings);

    DataStore *db = DataStore::self();
    if (!db->database().isOpen())
        logFatal() << "Unable to open database" << db->database().lastError().text();
    if (!db->init())
        logFatal() << "Unable to initialize database.";
    checkPayloadFiles();

    NotificationManager::self();
    Tracer::self();
    new DebugInterface(this);
    ResourceManager::self();
    PreprocessorManager *preprocessors = PreprocessorManager::create();
    if (settings.value(QStringLiteral("General/DisablePreprocessing"), false).toBool())
        preprocessors->setEnabled(false);

    startSearchManager(settings);

    m_itemRetrieval = new ItemRetrievalThread(this);
    m_itemRetrieval->startManager(QThread::HighPriority);

    if (settings.value(QStringLiteral("Cache/EnableCleaner"), true).toBool()) {
        m_cacheCleaner = new CacheCleaner(this);
        m_cacheCleaner->start(QThread::IdlePriority);
    }
    m_intervalCheck = new IntervalCheck(this);
    m_intervalCheck->start(QThread::IdlePriority);

    new ServerAdaptor(this);
    BusObject::registerObject(QStringLiteral("/Server"), this, QDBusConnection::ExportAdaptors);

    const QString busAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!busAddress.isEmpty()) {
        connectionSettings.setValue(QStringLiteral("DBUS/Address"), busAddress);
        syncPrivately(connectionSettings);
    }

    auto *watcher = new QDBusServiceWatcher(QStringLiteral("org.freedesktop.Talvori.Control"),
                                            QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TalvoriServer::serviceOwnerChanged);

    // Items hidden for the preprocessors of an earlier run would otherwise stay hidden for good.
    db->unhideAllPimItems();
}

void TalvoriServer::restrictDataDirectory()
{
    // New files are private already (main); older ones may have been made under a wider umask.
    const QString dataHome = XdgBaseDirs::saveDir("data", QStringLiteral("talvori"));
    if (const int changed = PrivateFiles::restrictTree(dataHome))
        logError() << "Took the group and other permissions off" << changed << "files and directories in" << dataHome;
}

void TalvoriServer::checkPayloadFiles()
{
    // Before any client or service can open a transaction: a file of one in progress is no orphan.
    const PartHelper::FileCheck check = PartHelper::checkFiles();
    if (!check.done) {
        logError() << "Unable to list the item parts; payload files are not checked";
        return;
    }
    if (check.removed > 0)
        logError() << "Removed" << check.removed << "payload files that no item part names";
    for (const QString &missing : check.missing)
        logError() << "Payload file missing (item, part, file):" << missing;
}

void TalvoriServer::syncPrivately(QSettings &settings)
{
    settings.sync();
    // It tells where the socket is and which bus the server is on: nobody else's business.
    PrivateFiles::restrict(settings.fileName());
}

void TalvoriServer::startSearchManager(const QSettings &settings)
{
    SorvaniSearch::setTimeout(settings.value(QStringLiteral("Search/Timeout"), 15000).toInt());
    QStringList engines = settings.value(QStringLiteral("Search/Manager"), QStringList{QStringLiteral("Sorvani"),
                                                                                       QStringLiteral("Agent")})
                              .toStringList();
    // An empty value ("Manager=") means no engine at all.
    engines.removeAll(QString());
    m_searchManager = new SearchManager(engines, this);
}

void TalvoriServer::readParserLimits(const QSettings &settings)
{
    const ImapStreamParser::Limits defaults;
    const auto value = [&settings](const char *key, qint64 fallback) {
        bool ok = false;
        const qint64 number = settings.value(QLatin1String("Connection/") + QLatin1String(key)).toLongLong(&ok);
        return ok && number > 0 ? number : fallback;
    };
    m_parserLimits.maxLiteralSize = value("MaxLiteralSize", defaults.maxLiteralSize);
    m_parserLimits.maxCommandText = value("MaxCommandLength", defaults.maxCommandText);
    m_parserLimits.maxListElements = value("MaxListElements", defaults.maxListElements);
    m_parserLimits.maxListDepth = int(qMin<qint64>(value("MaxListDepth", defaults.maxListDepth), 1 << 20));
    m_idleTransactionTimeout = int(qMin<qint64>(value("IdleTransactionTimeout", 60000), INT_MAX));
    DataStore::setLockTimeout(int(qMin<qint64>(value("LockTimeout", 90000), INT_MAX)));
}

bool TalvoriServer::listenOnPipe(const QString &path)
{
    QString error;
    const int descriptor = m_socket.listen(path, &error);
    if (descriptor < 0) {
        logError() << "Unable to listen on" << path << ":" << error;
        return false;
    }
    return listen(qintptr(descriptor));
}

void TalvoriServer::startDatabaseProcess()
{
    XdgBaseDirs::saveDir("data", QStringLiteral("talvori"));
    XdgBaseDirs::saveDir("data", QStringLiteral("talvori/file_db_data"));
    DbConfig::configuredDatabase()->startInternalServer();
}

void TalvoriServer::createDatabase()
{
    if (!DbConfig::configuredDatabase()->createDatabase())
        logFatal() << "Unable to create database" << DbConfig::configuredDatabase()->databaseName();
}

void TalvoriServer::stopDatabaseProcess()
{
    DbConfig *config = DbConfig::configuredDatabase();
    if (config->useInternalServer())
        config->stopInternalServer();
}

void TalvoriServer::incomingConnection(quintptr socketDescriptor)
{
    if (m_alreadyShutdown)
        return;
    auto *connection = new TalvoriConnection(socketDescriptor, this);
    connection->setParserLimits(m_parserLimits);
    connection->setIdleTransactionTimeout(m_idleTransactionTimeout);
    connect(connection, &QThread::finished, connection, &QObject::deleteLater);
    m_connections.append(connection);
    connection->start();
}

void TalvoriServer::quit()
{
    if (m_alreadyShutdown)
        return;
    m_alreadyShutdown = true;
    close();
    m_socket.release();
    // A connection waiting for another's write lock gives up now instead of holding the stop up.
    DataStore::abortLockWaits();

    // Service threads come first, item retrieval among them; then the connections, so that nothing
    // uses the database after it is closed, and only then the search manager. A connection waiting
    // for a delivery is woken with an error as item retrieval stops, so it ends too.
    logDebug() << "terminating service threads";
    for (QThread *service : {static_cast<QThread *>(m_cacheCleaner), static_cast<QThread *>(m_intervalCheck)}) {
        if (service) {
            service->quit();
            service->wait();
        }
    }
    m_itemRetrieval->quit();
    m_itemRetrieval->wait();
    delete m_itemRetrieval;
    m_itemRetrieval = nullptr;

    stopConnections();

    // After the connections: none of them can hand either an item or a search any more.
    delete PreprocessorManager::instance();
    delete m_searchManager;
    m_searchManager = nullptr;

    DataStore::self()->close();

    logDebug() << "stopping db process";
    stopDatabaseProcess();

    const QString connectionConfig = XdgBaseDirs::talvoriConnectionConfigFile(XdgBaseDirs::WriteOnly);
    if (!QFile::remove(connectionConfig))
        logError() << "Failed to remove runtime connection config file";

    QTimer::singleShot(0, this, &TalvoriServer::doQuit);
}

void TalvoriServer::stopConnections()
{
    logDebug() << "terminating connection threads";
    for (const QPointer<TalvoriConnection> &connection : std::as_const(m_connections)) {
        if (connection)
            connection->quit();
    }
    // Most end at once. One that waits for its client (a literal that does not come, an answer it
    // does not read) gets a short grace to finish its command, then its socket is shut under it.
    const QDeadlineTimer grace(ConnectionGraceMs);
    for (const QPointer<TalvoriConnection> &connection : std::as_const(m_connections)) {
        if (connection && !connection->wait(grace))
            connection->shutDownSocket();
    }
    const QDeadlineTimer last(ConnectionStopMs);
    for (const QPointer<TalvoriConnection> &connection : std::as_const(m_connections)) {
        if (!connection)
            continue;
        if (connection->wait(last)) {
            delete connection.data();
        } else {
            // Stuck elsewhere than on its socket; the process exit ends it. Deleting a running
            // thread would abort the server instead.
            logError() << "Connection" << connection->identifier() << "did not stop; leaving it running";
            connection->setParent(nullptr);
        }
    }
    m_connections.clear();
}

void TalvoriServer::doQuit()
{
    QCoreApplication::exit(0);
}

void TalvoriServer::serviceOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner)
{
    Q_UNUSED(name);
    Q_UNUSED(oldOwner);
    if (newOwner.isEmpty()) {
        logError() << "Control process died, committing suicide!";
        quit();
    }
}
