#ifndef FUZZAPPLICATION_H
#define FUZZAPPLICATION_H

// The Qt application every graph fuzz target needs once, made on the first input, with the
// library's debug output off so it does not drown the fuzzer's own.
#include <QCoreApplication>
#include <QLoggingCategory>

inline void ensureFuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("dax.debug=false"));
        return true;
    }();
    Q_UNUSED(quiet)
}

#endif
