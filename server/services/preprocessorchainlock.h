#ifndef TALVORI_PREPROCESSORCHAINLOCK_H
#define TALVORI_PREPROCESSORCHAINLOCK_H

#include <QMutex>

class PreprocessorManager;

// Holding one of these is holding the preprocessor chain's mutex; only the manager makes them.
// Everything that mutex guards (the chain, each instance's item queue and busy state, the wait
// queues, the items to unhide) is reached through functions that take a
// `const PreprocessorChainLock &`, so code without the lock does not compile, and code that has
// it never takes the (non-recursive) mutex a second time: functions that get a lock never lock.
//
// What runs while it is held: changing those lists, logging and tracing, posting the main thread
// a reminder. Nothing else. No database access: a connection thread takes this mutex while it
// holds the SQLite write lock inside a client's transaction, so waiting for that lock here could
// deadlock. No bus call and no signal: either could lead back into the manager. What follows
// from a change (handing an item to an agent, unhiding it) is done by the main thread once the
// lock is gone.
class PreprocessorChainLock
{
public:
    PreprocessorChainLock(const PreprocessorChainLock &) = delete;
    PreprocessorChainLock &operator=(const PreprocessorChainLock &) = delete;

private:
    friend class PreprocessorManager;
    explicit PreprocessorChainLock(QMutex &mutex)
        : m_locker(&mutex)
    {
    }

    QMutexLocker<QMutex> m_locker;
};

#endif
