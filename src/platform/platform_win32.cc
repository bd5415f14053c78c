// Windows, through the C runtime's descriptor functions: files are opened in
// binary mode, so bytes are read and written as they are, and the output's
// line ends are made CR LF by LineOutput above.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>

#include "platform/platform.h"

namespace tjoin {

const std::string_view LineEnd = "\r\n";

void guardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) == -1) {
      if (_open("NUL", _O_RDONLY | _O_BINARY) != fd) return;
    }
  }
  // Console messages get their CR LF from LineOutput, not from the C
  // runtime's text mode.
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
}

int openInput(const char* path) { return _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

bool regularFileSize(int fd, std::uint64_t* size) {
  struct _stat64 info;
  if (_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return false;
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

std::ptrdiff_t readSome(int fd, char* buffer, std::size_t n) {
  return _read(fd, buffer, static_cast<unsigned>(n < INT_MAX ? n : INT_MAX));
}

std::ptrdiff_t writeSome(int fd, const char* bytes, std::size_t n) {
  return _write(fd, bytes, static_cast<unsigned>(n < INT_MAX ? n : INT_MAX));
}

int openOutput(const char* path, bool* created) {
  for (;;) {
    int fd = _open(path, _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    if (fd >= 0 || errno != ENOENT) {
      *created = false;
      return fd;
    }
    fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
    if (fd >= 0 || errno != EEXIST) {
      *created = fd >= 0;
      return fd;
    }
  }
}

// Windows has no call that reserves room without changing the file.
int reserveRoom(int, std::uint64_t) { return 0; }

int emptyFile(int fd) {
  struct _stat64 info;
  if (_fstat64(fd, &info) != 0) return errno;
  if ((info.st_mode & _S_IFMT) != _S_IFREG) return 0;
  return _chsize_s(fd, 0);
}

int closeFile(int fd) { return _close(fd) == 0 ? 0 : errno; }

void removeFile(const char* path) { _unlink(path); }

// Windows pages are left to fault in as they are written.
void prefaultPages(void*, std::size_t) {}

// Committed pages that the system hands out zero-filled on first touch.
void* mapZeroPages(std::size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmapZeroPages(void* pages, std::size_t) { VirtualFree(pages, 0, MEM_RELEASE); }

}  // namespace tjoin
