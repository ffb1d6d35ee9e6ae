#ifndef DAXCOMMANDLINE_H
#define DAXCOMMANDLINE_H

#include "daxappaboutdata.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QUrl>

// The command line of a desktop program. Options are flags; a name starting with "+" is the
// positional arguments ("+[files]": any number, also none). The standard options --help,
// --version and --author are always there; Qt's own options (-platform, -style, ...) are taken
// out by the application object before parsing.
class DaxCommandLine
{
public:
    explicit DaxCommandLine(const DaxAppAboutData &about);

    void addOption(const QString &name, const QString &helpText);

    // Parses arguments (the program name first). False on an unknown option, with errorText().
    bool parse(const QStringList &arguments);
    // Parses the application's arguments; prints help, version or authors and exits when asked
    // for, prints the error and exits with status 1 on a bad command line.
    void process(const QCoreApplication &app);

    bool isSet(const QString &name) const;
    QStringList positionalArguments() const;
    // The positional arguments as URLs; relative paths are taken from the current directory.
    QList<QUrl> urls() const;
    QString errorText() const;
    QString helpText() const;
    QString authorsText() const;

private:
    DaxAppAboutData m_about;
    QCommandLineParser m_parser;
    QCommandLineOption m_authorOption;
};

#endif
