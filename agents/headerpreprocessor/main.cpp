// talvori-header-preprocessor: a preprocessor agent that flags new mail by its header fields.
//
//   talvori-header-preprocessor [--id ID] --flag FLAG --if-header FIELD[: VALUE] ...
//
// Each --flag goes with the --if-header at the same position: "--flag '$List' --if-header List-Id"
// flags every message with a List-Id field, "--flag '$Junk' --if-header 'X-Spam-Flag: YES'" those
// whose X-Spam-Flag is YES.

#include "headerpreprocessor.h"
#include "headerrule.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talvori-header-preprocessor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A preprocessor agent of the Talvori storage server: adds flags to each new message whose header "
        "matches a rule, before other clients see it."));
    parser.addHelpOption();
    const QCommandLineOption idOption(QStringLiteral("id"), QStringLiteral("The agent identifier (default %1)."),
                                      QStringLiteral("id"), QStringLiteral("talvori_header_preprocessor"));
    const QCommandLineOption flagOption(QStringLiteral("flag"), QStringLiteral("A flag to add, for the --if-header at the same position."),
                                        QStringLiteral("flag"));
    const QCommandLineOption headerOption(QStringLiteral("if-header"),
                                          QStringLiteral("A header field (\"List-Id\") or a field with its value "
                                                         "(\"X-Spam-Flag: YES\")."),
                                          QStringLiteral("field"));
    parser.addOptions({idOption, flagOption, headerOption});
    parser.process(app);

    const QStringList flags = parser.values(flagOption);
    const QStringList conditions = parser.values(headerOption);
    if (flags.size() != conditions.size()) {
        std::fprintf(stderr, "talvori-header-preprocessor: every --flag needs its --if-header (%d against %d)\n",
                     int(flags.size()), int(conditions.size()));
        return 2;
    }
    QList<HeaderRule> rules;
    for (qsizetype i = 0; i < flags.size(); ++i) {
        HeaderRule rule;
        QString error;
        if (!HeaderRule::parse(flags.at(i), conditions.at(i), &rule, &error)) {
            std::fprintf(stderr, "talvori-header-preprocessor: %s\n", qPrintable(error));
            return 2;
        }
        rules.append(rule);
    }

    HeaderPreprocessor agent(parser.value(idOption), rules);
    if (!agent.start())
        return 1;
    return app.exec();
}
