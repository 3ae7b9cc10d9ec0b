#pragma once

#include "httpserver/threadhandover.h"

#include <QMutex>
#include <QReadWriteLock>

namespace tarsel {

// Qt is not built with ThreadSanitizer, so the ordering its locks give between threads is
// invisible to it; these lockers state it. In other builds they are the plain Qt lockers.
template <typename Locker, typename Lock> class AnnotatedLocker
{
public:
    explicit AnnotatedLocker(Lock *lock)
        : locker(lock)
        , m_lock(lock)
    {
        TARSEL_TAKE_OVER(m_lock);
    }
    ~AnnotatedLocker() { TARSEL_HAND_OVER(m_lock); }

    AnnotatedLocker(const AnnotatedLocker &) = delete;
    AnnotatedLocker &operator=(const AnnotatedLocker &) = delete;

private:
    Locker locker;
    Lock *m_lock;
};

// Qt 6 made QMutexLocker a template over the mutex type: deduce whichever this Qt has.
using MutexLocker = AnnotatedLocker<decltype(QMutexLocker(static_cast<QMutex *>(nullptr))), QMutex>;
using ReadLocker = AnnotatedLocker<QReadLocker, QReadWriteLock>;
using WriteLocker = AnnotatedLocker<QWriteLocker, QReadWriteLock>;

} // namespace tarsel
