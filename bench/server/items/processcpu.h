#ifndef TALVORI_BENCH_PROCESSCPU_H
#define TALVORI_BENCH_PROCESSCPU_H

#include <QtGlobal>

// The processor time another process has used so far (user and system, all threads), read from
// /proc/<pid>/stat; the difference over a phase says which process the phase kept busy.
class ProcessCpu
{
public:
    explicit ProcessCpu(qint64 pid);

    // Seconds; -1 when the process is gone.
    double seconds() const;

private:
    qint64 m_pid;
};

#endif
