#ifndef TALVORI_RETRIEVALLOG_H
#define TALVORI_RETRIEVALLOG_H

#include <QLoggingCategory>

// The per-request lines of item retrieval (posted, started, processed). A fetch of thousands of
// uncached items writes several per item, so they are off unless asked for with
// QT_LOGGING_RULES="talvori.retrieval.debug=true"; failures go to the error log regardless.
Q_DECLARE_LOGGING_CATEGORY(lcRetrieval)

#endif
