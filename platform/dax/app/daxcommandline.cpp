#include "daxcommandline.h"
#include "daxappi18n.h"
#include "daxurl.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

DaxCommandLine::DaxCommandLine(const DaxAppAboutData &about)
    : m_about(about)
    , m_authorOption(QStringLiteral("author"), i18n("Show author information."))
{
    m_parser.setApplicationDescription(about.shortDescription());
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOption(m_authorOption);
}

void DaxCommandLine::addOption(const QString &name, const QString &helpText)
{
    if (name.startsWith(QLatin1Char('+'))) {
        QString shown = name.mid(1);
        QString bare = shown;
        bare.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        m_parser.addPositionalArgument(bare, helpText, shown);
        return;
    }
    m_parser.addOption(QCommandLineOption(name, helpText));
}

bool DaxCommandLine::parse(const QStringList &arguments)
{
    return m_parser.parse(arguments);
}

void DaxCommandLine::process(const QCoreApplication &app)
{
    if (!parse(app.arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(errorText()));
        std::exit(1);
    }
    if (m_parser.isSet(QStringLiteral("help"))) {
        std::fprintf(stdout, "%s", qPrintable(helpText()));
        std::exit(0);
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        std::fprintf(stdout, "%s %s\n", qPrintable(m_about.appName()), qPrintable(m_about.version()));
        std::exit(0);
    }
    if (m_parser.isSet(m_authorOption)) {
        std::fprintf(stdout, "%s", qPrintable(authorsText()));
        std::exit(0);
    }
}

bool DaxCommandLine::isSet(const QString &name) const
{
    return m_parser.isSet(name);
}

QStringList DaxCommandLine::positionalArguments() const
{
    return m_parser.positionalArguments();
}

QList<QUrl> DaxCommandLine::urls() const
{
    QList<QUrl> result;
    for (const QString &argument : m_parser.positionalArguments()) {
        result.append(DaxUrl::fromArgument(argument));
    }
    return result;
}

QString DaxCommandLine::errorText() const
{
    return m_parser.errorText();
}

QString DaxCommandLine::helpText() const
{
    return m_parser.helpText();
}

QString DaxCommandLine::authorsText() const
{
    QString text = i18n("%1 was written by\n", m_about.displayName());
    for (const DaxAppAboutData::Person &person : m_about.authors()) {
        text += QStringLiteral("    %1").arg(person.name);
        if (!person.emailAddress.isEmpty()) {
            text += QStringLiteral(" <%1>").arg(person.emailAddress);
        }
        if (!person.task.isEmpty()) {
            text += QStringLiteral(" (%1)").arg(person.task);
        }
        text += QLatin1Char('\n');
    }
    return text;
}
