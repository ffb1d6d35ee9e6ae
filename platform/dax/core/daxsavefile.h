#ifndef DAXSAVEFILE_H
#define DAXSAVEFILE_H

#include <QSaveFile>

// A file written to a temporary beside its target and put in place in one step by finalize().
// Dropped without finalize(), or after a failed write, the target keeps its old content.
class DaxSaveFile : public QSaveFile
{
    Q_OBJECT
public:
    explicit DaxSaveFile(const QString &fileName, QObject *parent = nullptr);

    // Replaces the target with what was written; false (target untouched) on any failure.
    bool finalize();
    // Gives up: the temporary goes, the target stays.
    void abort();
};

#endif
