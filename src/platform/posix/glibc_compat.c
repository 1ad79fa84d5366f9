/* Older glibc for the shipped library.
 *
 * The library is built on a current system but must load on systems with
 * glibc 2.28. The static C++ runtime, FFmpeg and our own code call a few
 * functions that glibc 2.29 and later give new symbol versions (pthread_* and
 * dl* moved into libc, stat became a real function, arc4random appeared,
 * libm's exp, log, pow and hypot were rewritten). Each
 * is defined here, hidden, so that every reference inside the library binds
 * to this definition, which calls the version every glibc since 2.2.5 has.
 * On glibc before 2.34 those versions live in libpthread.so.0 and libdl.so.2,
 * which the library therefore keeps among its needed libraries. */

#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#define HIDDEN __attribute__((visibility("hidden")))

/* Set to "not single-threaded": the C++ runtime then always uses atomic
 * reference counts, which is right in any process. */
HIDDEN char __libc_single_threaded = 0;

/* old_NAME is NAME@GLIBC_2.2.5 (or the version given); NAME forwards to it. */
#define OLD_VERSION(name, version) \
  __asm__(".symver old_" #name "," #name "@" version)

#define FORWARD(ret, name, params, args)      \
  extern ret old_##name params;               \
  OLD_VERSION(name, "GLIBC_2.2.5");           \
  HIDDEN ret name params;                     \
  HIDDEN ret name params { return old_##name args; }

typedef void* ptr;

FORWARD(int, pthread_create, (ptr thread, ptr attr, ptr (*start)(ptr), ptr arg),
        (thread, attr, start, arg))
FORWARD(int, pthread_join, (unsigned long thread, ptr* result), (thread, result))
FORWARD(int, pthread_detach, (unsigned long thread), (thread))
FORWARD(int, pthread_once, (ptr once, void (*init)(void)), (once, init))
FORWARD(int, pthread_key_create, (ptr key, void (*destroy)(ptr)), (key, destroy))
FORWARD(int, pthread_key_delete, (unsigned key), (key))
FORWARD(ptr, pthread_getspecific, (unsigned key), (key))
FORWARD(int, pthread_setspecific, (unsigned key, const void* value), (key, value))
FORWARD(int, pthread_rwlock_rdlock, (ptr lock), (lock))
FORWARD(int, pthread_rwlock_wrlock, (ptr lock), (lock))
FORWARD(int, pthread_rwlock_unlock, (ptr lock), (lock))
FORWARD(int, pthread_mutex_trylock, (ptr mutex), (mutex))
FORWARD(int, pthread_cancel, (unsigned long thread), (thread))
FORWARD(ptr, dlopen, (const char* file, int mode), (file, mode))
FORWARD(ptr, dlsym, (ptr handle, const char* name), (handle, name))
FORWARD(char*, dlerror, (void), ())
FORWARD(int, dladdr, (const void* address, ptr info), (address, info))
FORWARD(int, dlclose, (ptr handle), (handle))

/* libm's functions that 2.29 and 2.35 gave faster versions of, without the
 * old ones' error handling through matherr; FFmpeg's code does not rely on
 * either behaviour. */
FORWARD(double, exp, (double x), (x))
FORWARD(double, exp2, (double x), (x))
FORWARD(double, log, (double x), (x))
FORWARD(double, pow, (double x, double y), (x, y))
FORWARD(double, hypot, (double x, double y), (x, y))

/* stat and fstat were inline wrappers of __xstat and __fxstat before 2.33;
 * 1 is the structure version of x86-64's struct stat. */
extern int old___xstat(int version, const char* path, ptr buf);
OLD_VERSION(__xstat, "GLIBC_2.2.5");
extern int old___fxstat64(int version, int fd, ptr buf);
OLD_VERSION(__fxstat64, "GLIBC_2.2.5");
extern int old___fxstat(int version, int fd, ptr buf);
OLD_VERSION(__fxstat, "GLIBC_2.2.5");
HIDDEN int stat(const char* path, ptr buf);
HIDDEN int stat(const char* path, ptr buf) { return old___xstat(1, path, buf); }
HIDDEN int fstat64(int fd, ptr buf);
HIDDEN int fstat64(int fd, ptr buf) { return old___fxstat64(1, fd, buf); }
HIDDEN int fstat(int fd, ptr buf);
HIDDEN int fstat(int fd, ptr buf) { return old___fxstat(1, fd, buf); }
extern int old___lxstat(int version, const char* path, ptr buf);
OLD_VERSION(__lxstat, "GLIBC_2.2.5");
HIDDEN int lstat(const char* path, ptr buf);
HIDDEN int lstat(const char* path, ptr buf) { return old___lxstat(1, path, buf); }
/* fstatat the same way, through __fxstatat (GLIBC_2.4). */
extern int old___fxstatat(int version, int dirfd, const char* path, ptr buf, int flags);
OLD_VERSION(__fxstatat, "GLIBC_2.4");
HIDDEN int fstatat(int dirfd, const char* path, ptr buf, int flags);
HIDDEN int fstatat(int dirfd, const char* path, ptr buf, int flags) {
  return old___fxstatat(1, dirfd, path, buf, flags);
}

/* pthread_cond_clockwait (2.30) waits as pthread_cond_timedwait on the same
 * deadline moved to the realtime clock. The condition functions' version on
 * x86-64 is GLIBC_2.3.2. */
extern int old_pthread_cond_timedwait(ptr cond, ptr mutex, const struct timespec* deadline);
OLD_VERSION(pthread_cond_timedwait, "GLIBC_2.3.2");
HIDDEN int pthread_cond_clockwait(ptr cond, ptr mutex, clockid_t clock,
                                  const struct timespec* deadline);
HIDDEN int pthread_cond_clockwait(ptr cond, ptr mutex, clockid_t clock,
                                  const struct timespec* deadline) {
  struct timespec now, realtime, moved;
  if (clock == CLOCK_REALTIME) return old_pthread_cond_timedwait(cond, mutex, deadline);
  if (clock_gettime(clock, &now) != 0 || clock_gettime(CLOCK_REALTIME, &realtime) != 0)
    return EINVAL;
  int64_t left_ns = ((int64_t)deadline->tv_sec - now.tv_sec) * 1000000000 +
                    (deadline->tv_nsec - now.tv_nsec);
  if (left_ns < 0) left_ns = 0;
  int64_t ns = realtime.tv_nsec + left_ns % 1000000000;
  moved.tv_sec = realtime.tv_sec + (time_t)(left_ns / 1000000000) + (time_t)(ns / 1000000000);
  moved.tv_nsec = (long)(ns % 1000000000);
  return old_pthread_cond_timedwait(cond, mutex, &moved);
}

/* arc4random (2.36) for std::random_device: the kernel's generator. */
HIDDEN uint32_t arc4random(void);
HIDDEN uint32_t arc4random(void) {
  uint32_t value = 0;
  unsigned char* p = (unsigned char*)&value;
  size_t got = 0;
  while (got < sizeof value) {
    long n = syscall(SYS_getrandom, p + got, sizeof value - got, 0);
    if (n > 0) got += (size_t)n;
    else if (n < 0 && errno != EINTR) break;
  }
  return value;
}
