#include "daxsavefile.h"

DaxSaveFile::DaxSaveFile(const QString &fileName, QObject *parent)
    : QSaveFile(fileName, parent)
{
}

bool DaxSaveFile::finalize()
{
    return commit();
}

void DaxSaveFile::abort()
{
    cancelWriting();
}
