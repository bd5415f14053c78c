#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
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
  return 0;
}

int standardStreamOf(const FileFacts& facts) {
  for (int fd = 1; fd <= 2; ++fd) {
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
  // As many links as the system itself follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *resolved = std::move(at);
      return 0;
    }
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
  return ELOOP;
}

namespace {

// The new file that a signal removes: its name, set and cleared only while
// the signals are blocked, so the handler never sees half a name.
char newFileName[PATH_MAX];
volatile sig_atomic_t haveNewFile = 0;
constexpr int RemovingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removeNewFileAndEnd(int signal) {
  // unlink() and raise() are async-signal-safe; the handler was reset to the
  // default action on entry, so the raised signal ends the process as it
  // would have without tjoin's handler.
  if (haveNewFile) unlink(newFileName);
  raise(signal);
}

// Blocks the removing signals for its lifetime.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : RemovingSignals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

void handleRemovingSignals() {
  for (int signal : RemovingSignals) {
    struct sigaction action;
    // A signal that the caller had tjoin ignore (nohup) stays ignored.
    if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action = {};
    action.sa_handler = removeNewFileAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace

bool randomBytes(unsigned char* bytes, std::size_t n) { return getentropy(bytes, n) == 0; }

int createNewFile(const std::string& name, bool privately) {
  if (name.size() >= sizeof newFileName) {
    errno = ENAMETOOLONG;
    return -1;
  }
  SignalsBlocked blocked;
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privately ? 0600 : 0664);
  if (fd >= 0) {
    handleRemovingSignals();
    std::memcpy(newFileName, name.c_str(), name.size() + 1);
    haveNewFile = 1;
  }
  return fd;
}

int keepModeAndOwner(int fd, const FileFacts& facts) {
  struct stat info;
  if (fstat(fd, &info) != 0) return errno;
  // The owner first: giving a file away clears its set-user-ID bit.
  if (static_cast<std::int64_t>(info.st_uid) != facts.owner ||
      static_cast<std::int64_t>(info.st_gid) != facts.group) {
    if (fchown(fd, static_cast<uid_t>(facts.owner), static_cast<gid_t>(facts.group)) != 0) {
      return errno;
    }
  }
  return fchmod(fd, static_cast<mode_t>(facts.mode)) == 0 ? 0 : errno;
}

int renameNewFile(const std::string& name, const std::string& target) {
  SignalsBlocked blocked;
  if (rename(name.c_str(), target.c_str()) != 0) return errno;
  haveNewFile = 0;
  return 0;
}

void removeNewFile(const std::string& name) {
  SignalsBlocked blocked;
  unlink(name.c_str());
  haveNewFile = 0;
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

int checkRoom(int fd, std::uint64_t bytes) {
#ifdef __linux__
  if (bytes == 0) return 0;
  // fallocate() allocates the blocks; emptying the file then frees them
  // again, so this tells only that the room was there at this moment.
  for (;;) {
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return errno;
    return 0;  // a pipe, a device or a file system that cannot tell
  }
#else
  (void)fd;
  (void)bytes;
  return 0;
#endif
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
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(start) & ~(page - 1);
  const std::uintptr_t end =
      (reinterpret_cast<std::uintptr_t>(start) + bytes + page - 1) & ~(page - 1);
  if (end - begin > page) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
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
