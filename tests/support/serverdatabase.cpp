#include "serverdatabase.h"

#include "tempenvironment.h"
#include "testdatabaseserver.h"

#include <QSettings>
#include <QTest>

ServerDatabase::ServerDatabase(const TempEnvironment &environment)
    : m_environment(environment)
{
}

ServerDatabase::~ServerDatabase() = default;

bool ServerDatabase::start()
{
    const QByteArray backend = qgetenv("TALVORI_TEST_BACKEND");
    if (backend != "mariadb" && backend != "postgresql") {
        m_environment.writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"),
                                          QStringLiteral("QSQLITE3"));
        return true;
    }

    m_server = std::make_unique<TestDatabaseServer>(backend == "mariadb" ? TestDatabaseServer::MariaDb
                                                                         : TestDatabaseServer::PostgreSql);
    if (!m_server->start()) {
        const QByteArray message = m_server->kindName().toUtf8() + ": " + m_server->errorString().toUtf8();
        if (TestDatabaseServer::required())
            QTest::qFail(message.constData(), __FILE__, __LINE__);
        else
            QTest::qSkip(message.constData(), __FILE__, __LINE__);
        return false;
    }
    QSettings settings(m_environment.serverSettingsFile(), QSettings::IniFormat);
    m_server->configureServer(settings);
    return true;
}

QSqlDatabase ServerDatabase::addConnection(const QString &connectionName) const
{
    if (m_server)
        return m_server->addConnection(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(m_environment.dataHome() + QStringLiteral("/talvori/talvori.db"));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    return db;
}
