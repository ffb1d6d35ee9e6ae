#ifndef TALVORI_FILETRACER_H
#define TALVORI_FILETRACER_H

#include "common/tracerinterface.h"

#include <QFile>

// The back-end "file": one line per event, "<UTC time> <first>: <second>", appended to a file and
// written through at once, so a crash loses at most the line being written. Line ends inside a
// traced text (protocol lines carry their own) are written as \r and \n, so each event stays on
// one line.
class FileTracer : public TracerInterface
{
public:
    explicit FileTracer(const QString &fileName);

    // Where the server's trace file lies: "talvori/talvoriserver.trace" in the data directory.
    static QString defaultFileName();

    void beginConnection(const QString &identifier, const QString &msg) override;
    void endConnection(const QString &identifier, const QString &msg) override;
    void connectionInput(const QString &identifier, const QString &msg) override;
    void connectionOutput(const QString &identifier, const QString &msg) override;
    void signal(const QString &signalName, const QString &msg) override;
    void warning(const QString &componentName, const QString &msg) override;
    void error(const QString &componentName, const QString &msg) override;

private:
    void writeLine(const QString &first, const QString &second);

    QFile m_file;
};

#endif
