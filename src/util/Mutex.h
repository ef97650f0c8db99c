// The mutex and lock types of the program's shared fields, annotated so that Clang checks
// that every field marked OV_GUARDED_BY is used only with its lock held
// (util/ThreadAnnotations.h). They are std::mutex and its locks underneath, at the same cost.
#pragma once

#include <mutex>

#include "util/ThreadAnnotations.h"

namespace ov {

// A mutex; taken only through the lock types below, each for a scope.
class OV_CAPABILITY("mutex") TMutex {
  public:
    TMutex() = default;
    TMutex(const TMutex&) = delete;
    TMutex& operator=(const TMutex&) = delete;

  private:
    friend class TLockGuard;
    friend class TUniqueLock;
    friend class TUnlockGuard;
    std::mutex mutex_;
};

// Holds the mutex from construction to destruction.
class OV_SCOPED_CAPABILITY TLockGuard {
  public:
    explicit TLockGuard(TMutex& mutex) OV_ACQUIRE(mutex) : mutex_(mutex) { mutex_.mutex_.lock(); }
    ~TLockGuard() OV_RELEASE() { mutex_.mutex_.unlock(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

  private:
    TMutex& mutex_;
};

// Holds the mutex from construction to destruction, or until Unlock; a condition variable
// waits on Native(). A wait gives the mutex up and takes it again before it returns, so its
// predicate runs with the mutex held: annotate the predicate OV_REQUIRES(the mutex).
class OV_SCOPED_CAPABILITY TUniqueLock {
  public:
    explicit TUniqueLock(TMutex& mutex) OV_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~TUniqueLock() OV_RELEASE() {}
    TUniqueLock(const TUniqueLock&) = delete;
    TUniqueLock& operator=(const TUniqueLock&) = delete;

    void Lock() OV_ACQUIRE() { lock_.lock(); }
    void Unlock() OV_RELEASE() { lock_.unlock(); }
    std::unique_lock<std::mutex>& Native() { return lock_; }

  private:
    std::unique_lock<std::mutex> lock_;
};

// Gives a held mutex up for a scope (a call that must not be made under it) and takes it
// again at the scope's end, also when the scope ends with an exception.
class OV_SCOPED_CAPABILITY TUnlockGuard {
  public:
    explicit TUnlockGuard(TMutex& mutex) OV_RELEASE(mutex) : mutex_(mutex) {
        mutex_.mutex_.unlock();
    }
    ~TUnlockGuard() OV_RELEASE() { mutex_.mutex_.lock(); }
    TUnlockGuard(const TUnlockGuard&) = delete;
    TUnlockGuard& operator=(const TUnlockGuard&) = delete;

  private:
    TMutex& mutex_;
};

}  // namespace ov
