#include "tvapplication.h"

#include "common/log.h"

#include <QDBusConnection>
#include <QTimer>

#include <cstdlib>
#include <iostream>

namespace po = boost::program_options;

TvApplication::TvApplication(int &argc, char **argv)
    : QCoreApplication(argc, argv)
    , m_argc(argc)
    , m_argv(argv)
    , m_commandLineOptions(po::options_description::m_default_line_length, po::options_description::m_default_line_length / 2)
{
    initLogging(QString::fromLatin1(argv[0]));

    if (!QDBusConnection::sessionBus().isConnected())
        logFatal() << "D-Bus session bus is not available!";

    m_pollTimer = new QTimer(this);
    connect(m_pollTimer, &QTimer::timeout, this, &TvApplication::pollSessionBus);
    m_pollTimer->start(10000);
}

void TvApplication::addOptions(const po::options_description &options)
{
    m_commandLineOptions.add(options);
}

void TvApplication::readCommandLine()
{
    po::options_description generalOptions("General options");
    generalOptions.add_options()("help,h", "show this help message")("version", "show version information");
    m_commandLineOptions.add(generalOptions);

    try {
        po::store(po::parse_command_line(m_argc, m_argv, m_commandLineOptions), m_commandLineArguments);
        po::notify(m_commandLineArguments);
    } catch (const std::exception &e) {
        std::cerr << "Failed to parse command line arguments: " << e.what() << std::endl;
        std::cerr << "Run '" << m_argv[0] << " --help' to obtain a list of valid command line arguments." << std::endl;
        std::exit(1);
    }

    if (m_commandLineArguments.count("help")) {
        printHelp();
        std::exit(0);
    }
    if (m_commandLineArguments.count("version")) {
        std::cout << "Talvori " << "1.4.3" << std::endl;
        std::exit(0);
    }
}

void TvApplication::printHelp()
{
    if (!m_description.isEmpty())
        std::cout << m_description.toLocal8Bit().constData() << std::endl;
    std::cout << m_commandLineOptions << std::endl;
}

void TvApplication::pollSessionBus()
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        logError() << "D-Bus session bus went down - quitting";
        quit();
    }
}
