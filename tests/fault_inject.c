/* A library that, loaded with LD_PRELOAD, fails one chosen call of the C
 * library in the program it is loaded into: the test of how tjoin keeps its
 * files when any call it makes fails.
 *
 *   TJOIN_FAULT=write:3:28   fail the 3rd counted write() with errno 28
 *   TJOIN_FAULT=write:3:0    make it a short write instead (read() too)
 *   TJOIN_FAULT=malloc:3:12:on  fail the 3rd malloc() and every later one
 *   TJOIN_FAULT_LOG=path     counts of every family at exit ("write 4"), and
 *                            "fired" the moment the fault is injected
 *   TJOIN_FAULT_ALWAYS=fallocate:95,open_tmpfile:95
 *                            every call of these families fails: a system
 *                            without them
 *
 * Calls are counted by family (open and open64 are both "open") from this
 * library's constructor on, which runs before the program's own static
 * initialisation: the counts are the same on every run of the same command.
 * Calls made while this library is itself inside the C library (dlsym may
 * allocate) are neither counted nor failed. The failed call is not made at
 * all, except close(), which closes as Linux does when close reports EIO, and
 * a short read or write, which moves half the bytes. */

/* The wrappers must bear the plain names: no 64-bit renaming, no fortified
 * inline versions of open() and read(). */
#undef _FILE_OFFSET_BITS
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

/* The C library's own allocator, which dlsym cannot give without itself
 * allocating. */
extern void* __libc_malloc(size_t);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);

/* The families, in the order the log lists them. */
/* clang-format off */
#define FAMILIES(X)                                                                   \
  X(open) X(openat) X(open_tmpfile) X(read) X(write) X(close)                         \
  X(fstat) X(stat) X(lstat) X(fstatat) X(statx) X(readlink) X(faccessat)              \
  X(rename) X(renameat) X(link) X(linkat) X(unlink) X(unlinkat)                       \
  X(fchmod) X(fchown) X(fallocate) X(ftruncate) X(fsync) X(getentropy) X(getrandom)  \
  X(mmap) X(malloc) X(calloc) X(realloc) X(aligned_alloc)                             \
  X(flock) X(fcntl) X(fcntl_lock) X(fstatvfs) X(statvfs) X(getrlimit)                 \
  X(sigprocmask) X(pthread_sigmask) X(sigaction) X(signal) X(dup) X(dup2) X(dup3)
/* clang-format on */

#define AS_ENUM(name) F_##name,
enum Family { FAMILIES(AS_ENUM) FamilyCount };
#define AS_NAME(name) #name,
static const char* const FamilyNames[] = {FAMILIES(AS_NAME)};

static unsigned long counts[FamilyCount];
static int counting;    /* set by the constructor */
static int inside;      /* nonzero while this library calls into the C library */
static int target = -1; /* the family to fail, or -1 */
static unsigned long targetIndex;
static int targetErrno;
static int persist;                  /* every call of the family from the chosen one on fails */
static int alwaysErrno[FamilyCount]; /* nonzero: every call of the family fails so */
static const char* logPath;

static void writeLog(const char* text) {
  if (logPath == NULL) return;
  int fd =
      (int)syscall(SYS_openat, AT_FDCWD, logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  syscall(SYS_write, fd, text, strlen(text));
  syscall(SYS_close, fd);
}

/* The family named by the name that text starts with, up to a colon; or -1. */
static int familyNamed(const char* text) {
  const char* colon = strchr(text, ':');
  for (int f = 0; colon != NULL && f < FamilyCount; ++f) {
    if (strlen(FamilyNames[f]) == (size_t)(colon - text) &&
        strncmp(FamilyNames[f], text, (size_t)(colon - text)) == 0) {
      return f;
    }
  }
  return -1;
}

__attribute__((constructor)) static void start(void) {
  logPath = getenv("TJOIN_FAULT_LOG");
  const char* fault = getenv("TJOIN_FAULT");
  if (fault != NULL && (target = familyNamed(fault)) >= 0) {
    char* end;
    targetIndex = strtoul(strchr(fault, ':') + 1, &end, 10);
    targetErrno = *end == ':' ? (int)strtol(end + 1, &end, 10) : EIO;
    persist = strcmp(end, ":on") == 0;
  }
  for (const char* at = getenv("TJOIN_FAULT_ALWAYS"); at != NULL && *at != '\0';) {
    int f = familyNamed(at);
    if (f >= 0) alwaysErrno[f] = atoi(strchr(at, ':') + 1);
    at = strchr(at, ',');
    at = at == NULL ? NULL : at + 1;
  }
  counting = 1;
}

__attribute__((destructor)) static void finish(void) {
  counting = 0;
  char line[64];
  for (int f = 0; f < FamilyCount; ++f) {
    if (counts[f] == 0) continue;
    snprintf(line, sizeof line, "%s %lu\n", FamilyNames[f], counts[f]);
    writeLog(line);
  }
}

/* Counts a call of family f; true when this call is the one to fail, with
 * errno set to the chosen number. */
static int failHere(enum Family f) {
  if (!counting || inside) return 0;
  ++counts[f];
  if (alwaysErrno[f] != 0) {
    errno = alwaysErrno[f];
    return 1;
  }
  if ((int)f != target || counts[f] < targetIndex || (counts[f] > targetIndex && !persist)) {
    return 0;
  }
  if (counts[f] == targetIndex) writeLog("fired\n");
  errno = targetErrno;
  return 1;
}

static void* next(const char* name) {
  ++inside;
  void* function = dlsym(RTLD_NEXT, name);
  --inside;
  if (function == NULL) abort();
  return function;
}

/* The real function of this name, looked up once. */
#define REAL(name)                      \
  static __typeof__(name)* real_##name; \
  if (real_##name == NULL) real_##name = (__typeof__(name)*)next(#name)

/* A wrapper of a call that returns -1 with errno set when it fails. */
#define WRAP(family, ret, name, params, args) \
  ret name params {                           \
    REAL(name);                               \
    if (failHere(F_##family)) return (ret)-1; \
    return real_##name args;                  \
  }

/* Opens: with O_TMPFILE they are their own family, failed as file systems
 * that cannot make an unnamed file refuse it. */
static enum Family openFamily(enum Family plain, int flags) {
  return (flags & O_TMPFILE) == O_TMPFILE ? F_open_tmpfile : plain;
}
static mode_t modeOf(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}
#define WRAP_OPEN(name)                                 \
  int name(const char* path, int flags, ...) {          \
    REAL(name);                                         \
    va_list args;                                       \
    va_start(args, flags);                              \
    mode_t mode = modeOf(flags, args);                  \
    va_end(args);                                       \
    if (failHere(openFamily(F_open, flags))) return -1; \
    return real_##name(path, flags, mode);              \
  }
#define WRAP_OPENAT(name)                                 \
  int name(int dir, const char* path, int flags, ...) {   \
    REAL(name);                                           \
    va_list args;                                         \
    va_start(args, flags);                                \
    mode_t mode = modeOf(flags, args);                    \
    va_end(args);                                         \
    if (failHere(openFamily(F_openat, flags))) return -1; \
    return real_##name(dir, path, flags, mode);           \
  }
WRAP_OPEN(open)
WRAP_OPEN(open64)
WRAP_OPENAT(openat)
WRAP_OPENAT(openat64)
WRAP(open, int, __open_2, (const char* path, int flags), (path, flags))
WRAP(open, int, __open64_2, (const char* path, int flags), (path, flags))
WRAP(openat, int, __openat_2, (int dir, const char* path, int flags), (dir, path, flags))
WRAP(openat, int, __openat64_2, (int dir, const char* path, int flags), (dir, path, flags))

/* Reads and writes: errno 0 chosen makes the call a short one, which moves
 * half the bytes, as a pipe or a signal may have it. */
static size_t shortened(size_t n) { return n > 1 ? n / 2 : n; }
ssize_t read(int fd, void* buffer, size_t n) {
  REAL(read);
  if (!failHere(F_read)) return real_read(fd, buffer, n);
  return targetErrno == 0 ? real_read(fd, buffer, shortened(n)) : -1;
}
ssize_t __read_chk(int fd, void* buffer, size_t n, size_t room) {
  REAL(__read_chk);
  if (!failHere(F_read)) return real___read_chk(fd, buffer, n, room);
  return targetErrno == 0 ? real___read_chk(fd, buffer, shortened(n), room) : -1;
}
ssize_t write(int fd, const void* bytes, size_t n) {
  REAL(write);
  if (!failHere(F_write)) return real_write(fd, bytes, n);
  return targetErrno == 0 ? real_write(fd, bytes, shortened(n)) : -1;
}

int close(int fd) {
  REAL(close);
  int failed = failHere(F_close);
  int error = errno;
  int result = real_close(fd);
  if (!failed) return result;
  errno = error;
  return -1;
}

WRAP(fstat, int, fstat, (int fd, struct stat* info), (fd, info))
WRAP(fstat, int, fstat64, (int fd, struct stat64* info), (fd, info))
WRAP(stat, int, stat, (const char* path, struct stat* info), (path, info))
WRAP(stat, int, stat64, (const char* path, struct stat64* info), (path, info))
WRAP(lstat, int, lstat, (const char* path, struct stat* info), (path, info))
WRAP(lstat, int, lstat64, (const char* path, struct stat64* info), (path, info))
WRAP(fstatat, int, fstatat, (int dir, const char* path, struct stat* info, int flags),
     (dir, path, info, flags))
WRAP(fstatat, int, fstatat64, (int dir, const char* path, struct stat64* info, int flags),
     (dir, path, info, flags))
WRAP(statx, int, statx, (int dir, const char* path, int flags, unsigned mask, struct statx* info),
     (dir, path, flags, mask, info))
WRAP(readlink, ssize_t, readlink, (const char* path, char* buffer, size_t n), (path, buffer, n))
WRAP(readlink, ssize_t, readlinkat, (int dir, const char* path, char* buffer, size_t n),
     (dir, path, buffer, n))
WRAP(faccessat, int, faccessat, (int dir, const char* path, int mode, int flags),
     (dir, path, mode, flags))
WRAP(rename, int, rename, (const char* from, const char* to), (from, to))
WRAP(renameat, int, renameat, (int fromDir, const char* from, int toDir, const char* to),
     (fromDir, from, toDir, to))
WRAP(renameat, int, renameat2,
     (int fromDir, const char* from, int toDir, const char* to, unsigned flags),
     (fromDir, from, toDir, to, flags))
WRAP(link, int, link, (const char* from, const char* to), (from, to))
WRAP(linkat, int, linkat, (int fromDir, const char* from, int toDir, const char* to, int flags),
     (fromDir, from, toDir, to, flags))
WRAP(unlink, int, unlink, (const char* path), (path))
WRAP(unlinkat, int, unlinkat, (int dir, const char* path, int flags), (dir, path, flags))
WRAP(fchmod, int, fchmod, (int fd, mode_t mode), (fd, mode))
WRAP(fchown, int, fchown, (int fd, uid_t owner, gid_t group), (fd, owner, group))
WRAP(fallocate, int, fallocate, (int fd, int mode, off_t at, off_t n), (fd, mode, at, n))
WRAP(fallocate, int, fallocate64, (int fd, int mode, off64_t at, off64_t n), (fd, mode, at, n))
WRAP(ftruncate, int, ftruncate, (int fd, off_t n), (fd, n))
WRAP(ftruncate, int, ftruncate64, (int fd, off64_t n), (fd, n))
WRAP(fsync, int, fsync, (int fd), (fd))
WRAP(fsync, int, fdatasync, (int fd), (fd))
WRAP(getentropy, int, getentropy, (void* bytes, size_t n), (bytes, n))
WRAP(getrandom, ssize_t, getrandom, (void* bytes, size_t n, unsigned flags), (bytes, n, flags))
WRAP(flock, int, flock, (int fd, int operation), (fd, operation))
WRAP(fstatvfs, int, fstatvfs, (int fd, struct statvfs* info), (fd, info))
WRAP(fstatvfs, int, fstatvfs64, (int fd, struct statvfs64* info), (fd, info))
WRAP(statvfs, int, statvfs, (const char* path, struct statvfs* info), (path, info))
WRAP(statvfs, int, statvfs64, (const char* path, struct statvfs64* info), (path, info))
WRAP(getrlimit, int, getrlimit, (__rlimit_resource_t resource, struct rlimit* limit),
     (resource, limit))
WRAP(getrlimit, int, getrlimit64, (__rlimit_resource_t resource, struct rlimit64* limit),
     (resource, limit))
WRAP(sigprocmask, int, sigprocmask, (int how, const sigset_t* set, sigset_t* old), (how, set, old))
WRAP(sigaction, int, sigaction, (int signal, const struct sigaction* action, struct sigaction* old),
     (signal, action, old))
sighandler_t signal(int number, sighandler_t handler) {
  REAL(signal);
  return failHere(F_signal) ? SIG_ERR : real_signal(number, handler);
}
WRAP(dup, int, dup, (int fd), (fd))
WRAP(dup2, int, dup2, (int fd, int to), (fd, to))
WRAP(dup3, int, dup3, (int fd, int to, int flags), (fd, to, flags))

/* pthread_sigmask returns its error rather than setting errno. */
int pthread_sigmask(int how, const sigset_t* set, sigset_t* old) {
  REAL(pthread_sigmask);
  if (failHere(F_pthread_sigmask)) return errno;
  return real_pthread_sigmask(how, set, old);
}

/* fcntl: the locks are a family of their own. The argument is an int or a
 * pointer; passed on as a pointer-sized word it reaches the system either way. */
static int isLock(int command) {
  return command == F_SETLK || command == F_SETLKW || command == F_GETLK ||
         command == F_OFD_SETLK || command == F_OFD_SETLKW || command == F_OFD_GETLK;
}
#define WRAP_FCNTL(name)                                               \
  int name(int fd, int command, ...) {                                 \
    REAL(name);                                                        \
    va_list args;                                                      \
    va_start(args, command);                                           \
    void* argument = va_arg(args, void*);                              \
    va_end(args);                                                      \
    if (failHere(isLock(command) ? F_fcntl_lock : F_fcntl)) return -1; \
    return real_##name(fd, command, argument);                         \
  }
WRAP_FCNTL(fcntl)
WRAP_FCNTL(fcntl64)

void* mmap(void* at, size_t n, int protection, int flags, int fd, off_t offset) {
  REAL(mmap);
  if (failHere(F_mmap)) return MAP_FAILED;
  return real_mmap(at, n, protection, flags, fd, offset);
}
void* mmap64(void* at, size_t n, int protection, int flags, int fd, off64_t offset) {
  REAL(mmap64);
  if (failHere(F_mmap)) return MAP_FAILED;
  return real_mmap64(at, n, protection, flags, fd, offset);
}

/* The allocator: free() is the C library's own, unwrapped. */
void* malloc(size_t n) { return failHere(F_malloc) ? NULL : __libc_malloc(n); }
void* calloc(size_t count, size_t n) { return failHere(F_calloc) ? NULL : __libc_calloc(count, n); }
void* realloc(void* memory, size_t n) {
  return failHere(F_realloc) ? NULL : __libc_realloc(memory, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
  REAL(aligned_alloc);
  return failHere(F_aligned_alloc) ? NULL : real_aligned_alloc(alignment, n);
}
int posix_memalign(void** memory, size_t alignment, size_t n) {
  REAL(posix_memalign);
  return failHere(F_aligned_alloc) ? ENOMEM : real_posix_memalign(memory, alignment, n);
}
