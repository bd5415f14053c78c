#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace tjoin {

const std::string_view LineEnd = "\n";
const std::string_view PathSeparators = "/";

void guardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // open() takes the lowest free descriptor: this one.
      if (open("/dev/null", O_RDONLY) != fd) return;
    }
  }
}

namespace {

// The new file that a signal removes: the descriptor of its directory and its
// name there, set and cleared only while the signals are held back, so the
// handler never sees half a name.
int newFileDirectory = -1;
char newFileName[NAME_MAX + 1];
volatile sig_atomic_t haveNewFile = 0;

// The signals whose default action ends the process and that a handler can
// catch. (SIGABRT, SIGSEGV and their kind come from a fault of the process
// itself; the unnamed file covers those.)
constexpr int EndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGTERM,   SIGALRM, SIGUSR1,
    SIGUSR2,   SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
    SIGPOLL,
#elif defined(SIGIO)
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

sigset_t endingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : EndingSignals) sigaddset(&set, signal);
#ifdef SIGRTMIN
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
#endif
  return set;
}

extern "C" void removeNewFileAndEnd(int signal) {
  // unlinkat() and raise() are async-signal-safe. The handler was reset to the
  // default action on entry, and the signal stays held back until it returns:
  // then the raised signal ends the process as it would have without tjoin's
  // handler.
  if (haveNewFile) unlinkat(newFileDirectory, newFileName, 0);
  raise(signal);
}

void handleSignal(int signal, const sigset_t& during) {
  struct sigaction action = {}, before;
  action.sa_handler = removeNewFileAndEnd;
  action.sa_flags = SA_RESETHAND;
  action.sa_mask = during;
  // One call a signal in the usual case. A signal that the caller had tjoin
  // ignore (nohup) stays ignored; one that comes in between waits, held back
  // by the caller, and is then dropped as ignored.
  if (sigaction(signal, &action, &before) == 0 && before.sa_handler == SIG_IGN) {
    sigaction(signal, &before, nullptr);
  }
}

// Holds the ending signals back for its lifetime.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set = endingSignals();
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

// The signal mask from before holdEndingSignals, which releaseEndingSignals
// gives back.
sigset_t heldSince;

}  // namespace

void handleEndingSignals() {
  signal(SIGXFSZ, SIG_IGN);
  SignalsHeld held;
  const sigset_t during = endingSignals();
  for (int signal : EndingSignals) handleSignal(signal, during);
#ifdef SIGRTMIN
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) handleSignal(signal, during);
#endif
}

void holdEndingSignals() {
  sigset_t set = endingSignals();
  sigprocmask(SIG_BLOCK, &set, &heldSince);
}

void releaseEndingSignals() { sigprocmask(SIG_SETMASK, &heldSince, nullptr); }

int openInput(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }

bool regularFileSize(int fd, std::uint64_t* size) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

std::ptrdiff_t readSome(int fd, char* buffer, std::size_t n) {
  for (;;) {
    ssize_t got = read(fd, buffer, n);
    if (got >= 0 || errno != EINTR) return got;
  }
}

std::ptrdiff_t writeSome(int fd, const char* bytes, std::size_t n) {
  for (;;) {
    ssize_t put = write(fd, bytes, n);
    if (put >= 0 || errno != EINTR) return put;
  }
}

int fileFacts(const char* path, FileFacts* facts) {
  struct stat info;
  if (stat(path, &info) != 0) return errno;
  facts->regular = S_ISREG(info.st_mode);
  facts->links = static_cast<std::uint64_t>(info.st_nlink);
  facts->device = static_cast<std::uint64_t>(info.st_dev);
  facts->inode = static_cast<std::uint64_t>(info.st_ino);
  facts->mode = static_cast<unsigned>(info.st_mode & 07777);
  facts->owner = static_cast<std::int64_t>(info.st_uid);
  facts->group = static_cast<std::int64_t>(info.st_gid);
  facts->writeRefused = faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0 ? 0 : errno;
  return 0;
}

int standardStreamOf(const FileFacts& facts) {
  for (int fd = 1; fd <= 2; ++fd) {
    // A descriptor open for reading only (a closed one that
    // guardStandardStreams filled, or 1<file) cannot take the output.
    int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) continue;
    struct stat info;
    if (fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_dev) == facts.device &&
        static_cast<std::uint64_t>(info.st_ino) == facts.inode) {
      return fd;
    }
  }
  return -1;
}

int resolveLinks(const char* path, std::string* resolved) {
  std::string at = path;
  // The system follows at most 40 links in one path (Linux's MAXSYMLINKS);
  // so does this, and fails at the 41st.
  constexpr int MaxLinks = 40;
  for (int links = 0;; ++links) {
    struct stat info;
    if (lstat(at.c_str(), &info) != 0) {
      if (errno != ENOENT) return errno;
      break;  // nothing there yet: the output creates it
    }
    if (!S_ISLNK(info.st_mode)) break;
    if (links == MaxLinks) return ELOOP;
    char target[PATH_MAX];
    ssize_t n = readlink(at.c_str(), target, sizeof target);
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) == sizeof target) return ENAMETOOLONG;
    // A relative target is relative to the link's directory.
    std::size_t slash = at.rfind('/');
    if (target[0] == '/' || slash == std::string::npos) {
      at.assign(target, static_cast<std::size_t>(n));
    } else {
      at.resize(slash + 1);
      at.append(target, static_cast<std::size_t>(n));
    }
  }
  *resolved = std::move(at);
  return 0;
}

bool randomBytes(unsigned char* bytes, std::size_t n) { return getentropy(bytes, n) == 0; }

namespace {

mode_t newFileMode(bool privately) { return privately ? 0600 : 0664; }

// The path under which /proc shows the file open on fd: "/proc/self/fd/7".
void procPath(int fd, char (&path)[32]) {
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
}

}  // namespace

int openNewFileDirectory(const std::string& dir) {
  removeNewFile();
#ifdef O_PATH
  // Enough to make, link, rename and remove files in it; it need not be
  // readable.
  constexpr int Flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
  constexpr int Flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
  int fd = open(dir.empty() ? "." : dir.c_str(), Flags);
  if (fd < 0) return errno;
  newFileDirectory = fd;
  return 0;
}

int createUnnamedFile(bool privately) {
#if defined(O_TMPFILE)
  int fd = openat(newFileDirectory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, newFileMode(privately));
  if (fd < 0) {
    errno = EOPNOTSUPP;
    return -1;
  }
  // It gets its name through /proc (nameNewFile): /proc must show it.
  char shown[32];
  procPath(fd, shown);
  struct stat there, here;
  if (stat(shown, &there) != 0 || fstat(fd, &here) != 0 || there.st_dev != here.st_dev ||
      there.st_ino != here.st_ino) {
    close(fd);
    errno = EOPNOTSUPP;
    return -1;
  }
  return fd;
#else
  (void)privately;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

int createNamedFile(const std::string& name, bool privately) {
  if (name.size() >= sizeof newFileName) {
    errno = ENAMETOOLONG;
    return -1;
  }
  SignalsHeld held;
  int fd = openat(newFileDirectory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  newFileMode(privately));
  if (fd >= 0) {
    std::memcpy(newFileName, name.c_str(), name.size() + 1);
    haveNewFile = 1;
  }
  return fd;
}

int nameNewFile(int fd, const std::string& name) {
  if (name.size() >= sizeof newFileName) return ENAMETOOLONG;
  char shown[32];
  procPath(fd, shown);
  SignalsHeld held;
  if (linkat(AT_FDCWD, shown, newFileDirectory, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
  std::memcpy(newFileName, name.c_str(), name.size() + 1);
  haveNewFile = 1;
  return 0;
}

int keepOwner(int fd, const FileFacts& facts) {
  struct stat info;
  if (fstat(fd, &info) != 0) return errno;
  if (static_cast<std::int64_t>(info.st_uid) == facts.owner &&
      static_cast<std::int64_t>(info.st_gid) == facts.group) {
    return 0;
  }
  return fchown(fd, static_cast<uid_t>(facts.owner), static_cast<gid_t>(facts.group)) == 0 ? 0
                                                                                           : errno;
}

int keepMode(int fd, const FileFacts& facts) {
  return fchmod(fd, static_cast<mode_t>(facts.mode)) == 0 ? 0 : errno;
}

int renameNewFile(const std::string& target) {
  SignalsHeld held;
  if (renameat(newFileDirectory, newFileName, newFileDirectory, target.c_str()) != 0) return errno;
  haveNewFile = 0;
  close(newFileDirectory);
  newFileDirectory = -1;
  return 0;
}

void removeNewFile() {
  SignalsHeld held;
  if (haveNewFile) unlinkat(newFileDirectory, newFileName, 0);
  haveNewFile = 0;
  if (newFileDirectory >= 0) close(newFileDirectory);
  newFileDirectory = -1;
}

int openOutput(const char* path, bool* created) {
  // Opened first without O_CREAT, so that the run knows whether the file is
  // its own to remove after a failure. Should the file come and go between
  // the calls, the last one creates it whatever is there: a dangling symbolic
  // link, which O_EXCL refuses, among them.
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd >= 0 || errno != ENOENT) {
    *created = false;
    return fd;
  }
  fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
  if (fd < 0 && errno == EEXIST) fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0664);
  *created = fd >= 0;
  return fd;
}

void lockFile(int fd) {
  // A signal's handler ends the process; EINTR comes from a stop and resume.
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}

int checkRoom(int fd, std::uint64_t bytes) {
  struct stat info;
  if (bytes == 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      bytes > static_cast<std::uint64_t>(limit.rlim_cur)) {
    return EFBIG;
  }
#ifdef __linux__
  // fallocate() allocates the blocks; emptying the file then frees them
  // again, so this tells only that the room was there at this moment.
  for (;;) {
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return errno;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return 0;  // the file cannot tell
    break;
  }
#endif
  // A file system that cannot reserve (ext2, for one): its free blocks, and
  // those the old content frees. The count of blocks needed adds one block of
  // block numbers per blockSize / 4 blocks, as ext2's indirect blocks take.
  struct statvfs room;
  if (fstatvfs(fd, &room) != 0 || room.f_frsize == 0) return 0;
  const std::uint64_t blockSize = room.f_frsize;
  const std::uint64_t blocks = (bytes + blockSize - 1) / blockSize;
  const std::uint64_t needed = blocks + blocks / (blockSize / 4) + 1;
  // Root may take the blocks that the file system keeps back from users.
  const std::uint64_t free = geteuid() == 0 ? room.f_bfree : room.f_bavail;
  const std::uint64_t freed = static_cast<std::uint64_t>(info.st_blocks) * 512 / blockSize;
  return needed > free + freed ? ENOSPC : 0;
}

int emptyFile(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return 0;
  return ftruncate(fd, 0) == 0 ? 0 : errno;
}

int closeFile(int fd) { return close(fd) == 0 ? 0 : errno; }

void removeFile(const char* path) { unlink(path); }

void prefaultPages(void* start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  // Whole pages: from the one that holds start to the one that holds its last byte.
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t offset = reinterpret_cast<std::uintptr_t>(start) & (page - 1);
  const std::size_t length = (offset + bytes + page - 1) & ~(page - 1);
  if (length > page) madvise(static_cast<char*>(start) - offset, length, MADV_POPULATE_WRITE);
#else
  (void)start;
  (void)bytes;
#endif
}

void keepFreedMemory() {
#if defined(__GLIBC__)
  // Never shrink the heap, and take blocks of up to 16 MB (the most that a
  // 32-bit C library allows) from it rather than from mappings of their own,
  // which are unmapped when freed: what a fold step or a writer frees (an
  // index and row pairs, 0.15 MB for 10000 rows; a block of lines) then
  // serves the next one with no fresh pages. With the C library's own
  // thresholds W2, W3, W5 and W6 took 5.5%, 11.7%, 12.2% and 10.7% more CPU
  // time (medians of 25 interleaved runs, bench/README.md).
  mallopt(M_TRIM_THRESHOLD, -1);
  mallopt(M_MMAP_THRESHOLD, 16 << 20);
#endif
}

// An anonymous mapping rather than calloc: the allocator may hand back reused
// memory and clear it byte by byte, which would cost every Relation its full
// 2 MB whatever it holds.
void* mapZeroPages(std::size_t bytes) {
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void unmapZeroPages(void* pages, std::size_t bytes) { munmap(pages, bytes); }

}  // namespace tjoin
