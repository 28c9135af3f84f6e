// Clang thread-safety annotations. Under clang with -Wthread-safety (every clang build of
// this project, see cmake/KelOptions.cmake) the compiler checks that guarded members are
// touched only with their lock held and that locks are taken and released in pairs;
// under g++ the macros expand to nothing.
//
//   CAPABILITY(name)            a class that is a lock
//   SCOPED_CAPABILITY           an RAII holder of a lock
//   GUARDED_BY(l)               a member read and written only with `l` held
//   PT_GUARDED_BY(l)            the object a pointer member points to is guarded by `l`
//   ACQUIRE(...) / RELEASE(...) a function that takes / releases a lock (exclusive)
//   ACQUIRE_SHARED / RELEASE_SHARED, RELEASE_GENERIC  the shared side, either side
//   TRY_ACQUIRE(ok, ...)        takes the lock when it returns `ok`
//   TRY_ACQUIRE_SHARED(ok, ...)
//   REQUIRES(...) / REQUIRES_SHARED(...)  the caller must hold the lock (exclusive / any)
//   EXCLUDES(...)               the caller must not hold the lock (the function takes it)
//   ASSERT_CAPABILITY(l)        after the call, the analysis takes `l` as held
//   RETURN_CAPABILITY(l)        the function returns a reference to lock `l`
//   ACQUIRED_BEFORE / ACQUIRED_AFTER  lock order (checked only with -Wthread-safety-beta)
//   NO_THREAD_SAFETY_ANALYSIS   the function is not checked; give the reason beside it
#ifndef KEL_SHAREDLIB_THREAD_ANNOTATIONS_H
#define KEL_SHAREDLIB_THREAD_ANNOTATIONS_H

#if defined(__clang__)
#define KEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KEL_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) KEL_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY KEL_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) KEL_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) KEL_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) KEL_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) KEL_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) KEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) KEL_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define ACQUIRE(...) KEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) KEL_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) KEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) KEL_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define RELEASE_GENERIC(...) KEL_THREAD_ANNOTATION(release_generic_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) KEL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TRY_ACQUIRE_SHARED(...) KEL_THREAD_ANNOTATION(try_acquire_shared_capability(__VA_ARGS__))
#define EXCLUDES(...) KEL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) KEL_THREAD_ANNOTATION(assert_capability(x))
#define ASSERT_SHARED_CAPABILITY(x) KEL_THREAD_ANNOTATION(assert_shared_capability(x))
#define RETURN_CAPABILITY(x) KEL_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS KEL_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif
