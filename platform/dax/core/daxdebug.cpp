#include "daxdebug.h"

Q_LOGGING_CATEGORY(DAX_LOG, "dax")
