#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/platform.h"

namespace tjoin {

const std::string_view LineEnd = "\n";

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

int openOutput(const char* path, bool* created) {
  // Opened first without O_CREAT, so that the run knows whether the file is
  // its own to remove after a failure.
  for (;;) {
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) {
      *created = false;
      return fd;
    }
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
    if (fd >= 0 || errno != EEXIST) {
      *created = fd >= 0;
      return fd;
    }
  }
}

int reserveRoom(int fd, std::uint64_t bytes) {
#ifdef __linux__
  if (bytes == 0) return 0;
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

// An anonymous mapping rather than calloc: the allocator may hand back reused
// memory and clear it byte by byte, which would cost every Relation its full
// 2 MB whatever it holds.
void* mapZeroPages(std::size_t bytes) {
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void unmapZeroPages(void* pages, std::size_t bytes) { munmap(pages, bytes); }

}  // namespace tjoin
