#include "retrievallog.h"

Q_LOGGING_CATEGORY(lcRetrieval, "talvori.retrieval", QtInfoMsg)
