// grix-run: loads a graph file, runs a script or a tool plug-in on it and saves the result,
// for people who script graphs without an editor.
#include "graphrunner.h"

#include <fileplugininterface.h>
#include <graphdocument.h>
#include <pluginmanager.h>
#include <toolsplugininterface.h>

#include <daxplugininfo.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "grix-run: %s\n", qPrintable(message));
    return 1;
}

void listPlugins()
{
    Grix::PluginManager *manager = Grix::PluginManager::New();
    manager->loadFilePlugins();
    std::printf("File formats:\n  *.graph|Graph documents\n");
    for (Grix::FilePluginInterface *plugin : manager->filePlugins()) {
        for (const QString &entry : plugin->extensions())
            std::printf("  %s\n", qPrintable(entry.trimmed()));
    }
    std::printf("Tools:\n");
    for (const DaxPluginInfo &info : manager->toolsPluginsInfo())
        std::printf("  %s  %s\n", qPrintable(info.name()), qPrintable(info.comment()));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("grix-run"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs a script or a tool plug-in on a graph document."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("input"), QStringLiteral("Graph file to load (.graph or a plug-in format); "
                                                                         "without it the document has one empty graph."));
    const QCommandLineOption scriptOption({QStringLiteral("s"), QStringLiteral("script")},
                                          QStringLiteral("JavaScript file to run."), QStringLiteral("file"));
    const QCommandLineOption evalOption({QStringLiteral("e"), QStringLiteral("eval")}, QStringLiteral("JavaScript text to run."),
                                        QStringLiteral("code"));
    const QCommandLineOption toolOption({QStringLiteral("t"), QStringLiteral("tool")},
                                        QStringLiteral("Tool plug-in to run, by name."), QStringLiteral("name"));
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("Save the result here (.graph or a plug-in format)."),
                                          QStringLiteral("file"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QStringLiteral("Stop the script after this many milliseconds."),
                                           QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption listOption(QStringLiteral("list-plugins"), QStringLiteral("List file formats and tools."));
    const QCommandLineOption verboseOption({QStringLiteral("v"), QStringLiteral("verbose")},
                                           QStringLiteral("Show the library's debug output."));
    parser.addOptions({scriptOption, evalOption, toolOption, outputOption, timeoutOption, listOption, verboseOption});
    parser.process(app);

    if (!parser.isSet(verboseOption))
        QLoggingCategory::setFilterRules(QStringLiteral("dax.debug=false"));
    if (parser.isSet(listOption)) {
        listPlugins();
        return 0;
    }
    const int actions = int(parser.isSet(scriptOption)) + int(parser.isSet(evalOption)) + int(parser.isSet(toolOption));
    if (actions > 1)
        return fail(QStringLiteral("Give one of --script, --eval and --tool."));
    if (parser.positionalArguments().size() > 1)
        return fail(QStringLiteral("Give at most one input file."));
    bool timeoutOk = false;
    const int timeout = parser.value(timeoutOption).toInt(&timeoutOk);
    if (!timeoutOk || timeout < 0)
        return fail(QStringLiteral("--timeout needs a number of milliseconds."));

    QString script;
    if (parser.isSet(scriptOption)) {
        QFile file(parser.value(scriptOption));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return fail(QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString()));
        script = QString::fromUtf8(file.readAll());
    } else if (parser.isSet(evalOption)) {
        script = parser.value(evalOption);
    }

    GraphRunner runner;
    if (!parser.positionalArguments().isEmpty()) {
        const QString input = parser.positionalArguments().first();
        GraphDocument *doc = runner.read(input);
        if (!doc)
            return fail(runner.error());
        for (const QString &warning : runner.warnings())
            std::fprintf(stderr, "grix-run: warning: %s: %s\n", qPrintable(input), qPrintable(warning));
        runner.adopt(doc);
    }

    int status = 0;
    if (parser.isSet(toolOption)) {
        if (!runner.runTool(parser.value(toolOption), timeout)) {
            std::fprintf(stderr, "grix-run: %s\n", qPrintable(runner.error()));
            status = 2;
        }
    } else if (!script.isEmpty()) {
        if (!runner.runScript(script, timeout)) {
            std::fprintf(stderr, "grix-run: %s\n", qPrintable(runner.error()));
            status = 2;
        }
    }
    if (parser.isSet(outputOption) && !runner.write(parser.value(outputOption)))
        return fail(runner.error());
    return status;
}
