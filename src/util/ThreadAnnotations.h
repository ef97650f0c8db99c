// Lock annotations: which lock guards a field, which lock a function needs held, which a lock
// type takes and gives back. Clang checks them at compile time (-Wthread-safety, an error in
// every Clang build of this project); under other compilers they expand to nothing.
// util/Mutex.h has the annotated mutex and lock types they are used with.
#pragma once

#if defined(__clang__)
#define OV_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OV_THREAD_ANNOTATION(x)
#endif

// A type that is a lock ("mutex") or holds one for a scope.
#define OV_CAPABILITY(name) OV_THREAD_ANNOTATION(capability(name))
#define OV_SCOPED_CAPABILITY OV_THREAD_ANNOTATION(scoped_lockable)
// A field read or written only with the lock held.
#define OV_GUARDED_BY(lock) OV_THREAD_ANNOTATION(guarded_by(lock))
// A function (or a condition variable's predicate) called only with the lock held.
#define OV_REQUIRES(...) OV_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function that takes the lock itself: the caller must not hold it.
#define OV_EXCLUDES(...) OV_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that takes, or gives back, the lock for its caller.
#define OV_ACQUIRE(...) OV_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define OV_RELEASE(...) OV_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
