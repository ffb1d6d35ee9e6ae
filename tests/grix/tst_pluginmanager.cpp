// The plug-in manager with the real plug-ins, loaded from the plug-in directory of the build.
#include <fileplugininterface.h>
#include <pluginmanager.h>
#include <toolsplugininterface.h>

#include <daxservicetypetrader.h>

#include <QPointer>
#include <QTest>

class TestPluginManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void filePluginsByExtension_data();
    void filePluginsByExtension();
    void loadingFilePluginsTwiceKeepsOne();
    void unknownToolFailsWithoutQuery();
    void toolPluginsComeFromTheRegistry();
};

void TestPluginManager::initTestCase()
{
    Grix::PluginManager *manager = Grix::PluginManager::New();
    QCOMPARE(manager, Grix::PluginManager::New());
    manager->loadPlugins();
    QVERIFY2(!manager->filePlugins().isEmpty(), "grix_plaintxt not found in the plug-in directory");
    QVERIFY2(!manager->toolPlugins().isEmpty(), "grix_makecompleteplugin not found in the plug-in directory");
}

void TestPluginManager::filePluginsByExtension_data()
{
    // pattern: the filter entry of the plug-in expected, empty for none.
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("txt") << "txt" << "*.txt";
    QTest::newRow("TXT") << "TXT" << "*.txt";
    // Patterns and descriptions are searched as one text.
    QTest::newRow("xt") << "xt" << "*.txt";
    QTest::newRow("plain") << "plain" << "*.txt";
    QTest::newRow("graph finds GraphML") << "graph" << "*.graphml";
    QTest::newRow("adjlist") << "adjlist" << "*.adjlist";
    QTest::newRow("csv") << "csv" << "";
}

void TestPluginManager::filePluginsByExtension()
{
    QFETCH(QString, ext);
    QFETCH(QString, pattern);
    Grix::FilePluginInterface *plugin = Grix::PluginManager::New()->filePluginsByExtension(ext);
    QCOMPARE(plugin != nullptr, !pattern.isEmpty());
    if (plugin)
        QVERIFY2(plugin->extensions().join(';').contains(pattern), qPrintable(plugin->extensions().join(';')));
}

void TestPluginManager::loadingFilePluginsTwiceKeepsOne()
{
    Grix::PluginManager *manager = Grix::PluginManager::New();
    const int count = int(manager->filePlugins().size());
    QPointer<Grix::FilePluginInterface> first = manager->filePlugins().first();
    manager->loadFilePlugins();
    QCOMPARE(manager->filePlugins().size(), count);
    QVERIFY(first.isNull());
    QCOMPARE(manager->filePlugins().first()->parent(), manager);
}

void TestPluginManager::unknownToolFailsWithoutQuery()
{
    const int queries = DaxServiceTypeTrader::self()->queryCount();
    QTest::ignoreMessage(QtDebugMsg, "Error loading tool plugin NoSuchTool");
    QVERIFY(!Grix::PluginManager::New()->loadToolPlugin(QStringLiteral("NoSuchTool")));
    QCOMPARE(DaxServiceTypeTrader::self()->queryCount(), queries);
}

void TestPluginManager::toolPluginsComeFromTheRegistry()
{
    Grix::PluginManager *manager = Grix::PluginManager::New();
    Grix::ToolsPluginInterface *tool = manager->toolPlugin(QStringLiteral("MakeComplete"));
    QVERIFY(tool);
    QCOMPARE(tool->pluginId(), QStringLiteral("MakeCompleteToolPlugin"));
    // What users see comes from the registry entry, not from the factory's about data.
    QCOMPARE(tool->displayName(), QStringLiteral("MakeComplete"));
    QCOMPARE(tool->pluginIcon(), QStringLiteral("grix-makecomplete"));
    QCOMPARE(tool->componentData().aboutData().displayName(), QStringLiteral("Make Complete"));
    QVERIFY(manager->pluginInfo(tool).isPluginEnabled());

    // Loading again makes a new instance that takes the old one's place.
    const int queries = DaxServiceTypeTrader::self()->queryCount();
    QVERIFY(manager->loadToolPlugin(QStringLiteral("MakeComplete")));
    QCOMPARE(DaxServiceTypeTrader::self()->queryCount(), queries + 1);
    Grix::ToolsPluginInterface *again = manager->toolPlugin(QStringLiteral("MakeComplete"));
    QVERIFY(again && again != tool);
    QCOMPARE(manager->toolPlugins(), QList<Grix::ToolsPluginInterface *>{again});
    QVERIFY(!manager->pluginInfo(tool).isValid());
    QCOMPARE(tool->displayName(), QString());
}

QTEST_GUILESS_MAIN(TestPluginManager)
#include "tst_pluginmanager.moc"
