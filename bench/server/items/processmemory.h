#ifndef TALVORI_BENCH_PROCESSMEMORY_H
#define TALVORI_BENCH_PROCESSMEMORY_H

#include <QtGlobal>

// Resident memory of another process, read from /proc/<pid>/status.
class ProcessMemory
{
public:
    explicit ProcessMemory(qint64 pid);

    // VmRSS and VmHWM in KiB; -1 when the process or the line is gone.
    qint64 residentKiB() const;
    qint64 peakKiB() const;
    // Sets the peak (VmHWM) back to the current resident size, so the next peak belongs to what
    // runs after this call only. False when the kernel does not allow it; the peak then keeps
    // counting from the process start.
    bool resetPeak() const;

private:
    qint64 statusValue(const char *key) const;

    qint64 m_pid;
};

#endif
