#include "greeter.h"

#include <daxi18n.h>
#include <daxplugininfo.h>
#include <daxpluginfactory.h>
#include <daxpluginloader.h>
#include <daxsavefile.h>
#include <daxservicetypetrader.h>
#include <daxstandarddirs.h>
#include <daxvintoaction.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

class TestDax : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void i18nSubstitutes_data();
    void i18nSubstitutes();
    void saveFileReplacesOnlyWhenFinalized();
    void locateFindsAppData();
    void registryQueries_data();
    void registryQueries();
    void registryCountsQueries();
    void pluginInfoSharesState();
    void loaderMakesPluginObjects();
    void loaderReportsMissingLibrary_data();
    void loaderReportsMissingLibrary();
    void vintoRunsJavaScript();
    void vintoRefusesUnknownInterpreter();
};

void TestDax::i18nSubstitutes_data()
{
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << i18n("No active graph in this document.") << "No active graph in this document.";
    QTest::newRow("two") << i18n("Cannot open the file %1. Error: %2", QStringLiteral("a.txt"), QStringLiteral("gone"))
                         << "Cannot open the file a.txt. Error: gone";
    // A substituted value is never substituted again.
    QTest::newRow("placeholder in value")
        << i18n("Cannot open the file %1. Error: %2", QStringLiteral("%2.txt"), QStringLiteral("gone"))
        << "Cannot open the file %2.txt. Error: gone";
    QTest::newRow("number") << i18n("%1 nodes", 3) << "3 nodes";
}

void TestDax::i18nSubstitutes()
{
    QFETCH(QString, result);
    QFETCH(QString, expected);
    QCOMPARE(result, expected);
}

void TestDax::saveFileReplacesOnlyWhenFinalized()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.txt"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    {
        DaxSaveFile dropped(path);
        QVERIFY(dropped.open(QIODevice::WriteOnly));
        dropped.write("half written");
    }
    QFile check(path);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("old"));
    check.close();

    DaxSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("new");
    QVERIFY(file.finalize());
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("new"));

    DaxSaveFile nowhere(dir.filePath(QStringLiteral("missing/dir/doc.txt")));
    QVERIFY(!nowhere.open(QIODevice::WriteOnly));
}

void TestDax::locateFindsAppData()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("iconpacks")));
    QFile icon(dir.filePath(QStringLiteral("iconpacks/default.svg")));
    QVERIFY(icon.open(QIODevice::WriteOnly));
    icon.close();
    qputenv("DAX_DATA_DIRS", QFile::encodeName(QStringLiteral("/nonexistent:") + dir.path()));
    QCOMPARE(DaxStandardDirs::locate(QStringLiteral("appdata"), QStringLiteral("iconpacks/default.svg")),
             QDir(dir.path()).absoluteFilePath(QStringLiteral("iconpacks/default.svg")));
    QCOMPARE(DaxStandardDirs::locate(QStringLiteral("appdata"), QStringLiteral("iconpacks/other.svg")), QString());
    QCOMPARE(DaxStandardDirs::locate(QStringLiteral("nosuchtype"), QStringLiteral("iconpacks/default.svg")), QString());
    qunsetenv("DAX_DATA_DIRS");
}

void TestDax::registryQueries_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("constraint");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("all of a type") << "Dax/TestPlugin" << "" << QStringList{"Greeter"};
    QTest::newRow("by name") << "Dax/TestPlugin" << "[Name]=='Greeter'" << QStringList{"Greeter"};
    QTest::newRow("two terms") << "Dax/TestPlugin" << "[Name]=='Greeter' and [Icon]=='greeter-icon'"
                               << QStringList{"Greeter"};
    QTest::newRow("escaped quote") << "Dax/TestPlugin" << R"([Colour]=='it\'s blue')" << QStringList{"Greeter"};
    QTest::newRow("other name") << "Dax/TestPlugin" << "[Name]=='Nobody'" << QStringList{};
    QTest::newRow("other type") << "Dax/Nothing" << "" << QStringList{};
    QTest::newRow("unsupported") << "Dax/TestPlugin" << "Name == Greeter" << QStringList{};
    QTest::newRow("dangling and") << "Dax/TestPlugin" << "[Name]=='Greeter' and" << QStringList{};
}

void TestDax::registryQueries()
{
    QFETCH(QString, type);
    QFETCH(QString, constraint);
    QFETCH(QStringList, names);
    QStringList found;
    for (const DaxService &service : DaxServiceTypeTrader::self()->query(type, constraint))
        found.append(service.name());
    QCOMPARE(found, names);
}

void TestDax::registryCountsQueries()
{
    const int before = DaxServiceTypeTrader::self()->queryCount();
    const DaxServiceList services = DaxServiceTypeTrader::self()->query(QStringLiteral("Dax/TestPlugin"));
    QCOMPARE(DaxServiceTypeTrader::self()->queryCount(), before + 1);
    QCOMPARE(services.size(), 1);
    const DaxService &service = services.first();
    QCOMPARE(service.library(), QStringLiteral("dax_testplugin"));
    QCOMPARE(service.pluginKeyword(), QStringLiteral("polite"));
    QCOMPARE(service.icon(), QStringLiteral("greeter-icon"));
}

void TestDax::pluginInfoSharesState()
{
    const DaxServiceList services = DaxServiceTypeTrader::self()->query(QStringLiteral("Dax/TestPlugin"));
    QCOMPARE(services.size(), 1);
    DaxPluginInfo info(services.first());
    QMap<DaxPluginInfo, int> map;
    map.insert(info, 1);
    QVERIFY(!map.firstKey().isPluginEnabled());
    info.setPluginEnabled(true);
    QVERIFY(map.firstKey().isPluginEnabled());
    QVERIFY(!DaxPluginInfo().isValid());
    QVERIFY(DaxPluginInfo() < info);
}

void TestDax::loaderMakesPluginObjects()
{
    const DaxService service = DaxServiceTypeTrader::self()->query(QStringLiteral("Dax/TestPlugin")).value(0);
    DaxPluginLoader loader(service);
    DaxPluginFactory *factory = loader.factory();
    QVERIFY2(factory, qPrintable(loader.errorString()));
    QCOMPARE(factory->componentData().componentName(), QStringLiteral("dax_testplugin"));
    // The same library loaded by name gives the same factory.
    DaxPluginLoader byName(QStringLiteral("dax_testplugin"));
    QCOMPARE(byName.factory(), factory);

    QObject parent;
    Greeter *greeter = factory->create<Greeter>(service.pluginKeyword(), &parent, {QStringLiteral("!")});
    QVERIFY(greeter);
    QCOMPARE(greeter->parent(), &parent);
    QCOMPARE(greeter->greet(QStringLiteral("Ann")), QStringLiteral("Hello, Ann!"));
    QVERIFY(!factory->create<Greeter>(QStringLiteral("rude"), &parent));
    // A class registered under the keyword that is not the requested interface is not made.
    QVERIFY(!factory->create<DaxPluginFactory>(QStringLiteral("polite"), &parent));
}

void TestDax::loaderReportsMissingLibrary_data()
{
    QTest::addColumn<QString>("library");
    QTest::newRow("unknown") << "no_such_plugin";
    QTest::newRow("empty") << "";
    QTest::newRow("path outside") << "../daxplugins/dax_testplugin";
    QTest::newRow("not a plug-in") << QString(QFINDTESTDATA("tst_dax.cpp"));
}

void TestDax::loaderReportsMissingLibrary()
{
    QFETCH(QString, library);
    DaxPluginLoader loader(library);
    QVERIFY(!loader.factory());
    QVERIFY(!loader.errorString().isEmpty());
}

void TestDax::vintoRunsJavaScript()
{
    QObject target;
    target.setObjectName(QStringLiteral("before"));
    DaxVintoAction action(nullptr, QStringLiteral("myScript"), QString());
    action.setInterpreter(QStringLiteral("javascript"));
    action.addObject(&target, QStringLiteral("thing"));
    action.setCode(QStringLiteral("thing.objectName = 'größer'; 6 * 7").toUtf8());
    action.trigger();
    QVERIFY2(!action.hadError(), qPrintable(action.errorText()));
    QCOMPARE(target.objectName(), QStringLiteral("größer"));
    QCOMPARE(action.result(), QStringLiteral("42"));

    action.setCode("thing.nosuch();");
    action.trigger();
    QVERIFY(action.hadError());
    QVERIFY(action.errorText().contains(QLatin1String("TypeError")));
}

void TestDax::vintoRefusesUnknownInterpreter()
{
    QObject target;
    DaxVintoAction action(nullptr, QStringLiteral("myScript"), QString());
    action.setInterpreter(QStringLiteral("python"));
    action.addObject(&target, QStringLiteral("thing"));
    action.setCode("thing.objectName = 'ran'");
    QTest::ignoreMessage(QtWarningMsg, "There is no interpreter \"python\"; the script was not run.");
    action.trigger();
    QVERIFY(action.hadError());
    QCOMPARE(target.objectName(), QString());
}

QTEST_GUILESS_MAIN(TestDax)
#include "tst_dax.moc"
