#ifndef TALVORI_TVAPPLICATION_H
#define TALVORI_TVAPPLICATION_H

#include <QCoreApplication>
#include <QString>

#include <boost/program_options.hpp>

class QTimer;

// The server process's application object. It starts the log files before anything else,
// refuses to run without a session bus, leaves when the bus goes away and reads the command line.
class TvApplication : public QCoreApplication
{
    Q_OBJECT
public:
    TvApplication(int &argc, char **argv);

    // Printed above the options by --help.
    void setDescription(const QString &description) { m_description = description; }
    void addOptions(const boost::program_options::options_description &options);
    // Parses the command line; --help, --version and a malformed command line end the process.
    void readCommandLine();
    void printHelp();
    const boost::program_options::variables_map &commandLineArguments() const { return m_commandLineArguments; }

private Q_SLOTS:
    void pollSessionBus();

private:
    int m_argc;
    char **m_argv;
    QString m_description;
    boost::program_options::options_description m_commandLineOptions;
    boost::program_options::variables_map m_commandLineArguments;
    QTimer *m_pollTimer;
};

#endif
