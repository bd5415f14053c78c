// Windows, through the C runtime's descriptor functions: files are opened in
// binary mode, so bytes are read and written as they are, and the output's
// line ends are made CR LF by writeLines (platform/line_output.h). A new
// output file is moved over the old one with MoveFileExW; a console control
// event (Ctrl-C, Ctrl-Break, the console closed) while it is written removes
// it first, as the signals do on POSIX systems. Windows has no file without a
// name, so a kill while it is written may leave the hidden new file.

// rand_s, the system's random numbers, is declared only when asked for.
#define _CRT_RAND_S

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace tjoin {

const std::string_view LineEnd = "\r\n";
const std::string_view PathSeparators = "/\\";

void guardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) == -1) {
      if (_open("NUL", _O_RDONLY | _O_BINARY) != fd) return;
    }
  }
  // Console messages get their CR LF from writeLines, not from the C
  // runtime's text mode.
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
}

namespace {

// The new file that a console control event removes, by its full name. The
// handler runs on a thread of its own: it takes newFileLock and never gives
// it back, so that the main thread, which takes the lock to rename or remove
// the file, stops there until the process ends.
SRWLOCK newFileLock = SRWLOCK_INIT;
std::wstring newFileDirectory;
std::wstring newFileName;  // the directory's path and the name; empty while there is none

// While set, an event waits in its handler (on its own thread) until the
// main thread clears it.
volatile LONG holding = 0;

BOOL WINAPI removeNewFileAndEnd(DWORD) {
  while (holding) Sleep(1);
  AcquireSRWLockExclusive(&newFileLock);
  if (!newFileName.empty()) DeleteFileW(newFileName.c_str());
  return FALSE;  // on to the default handler, which ends the process
}

std::wstring wide(const std::string& narrow) {
  int n = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
  std::wstring text(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, text.data(), n);
  text.resize(text.size() - 1);  // the terminating NUL
  return text;
}

// errno for the Windows error of a file operation.
int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;  // the file is open elsewhere, or read-only
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EIO;
  }
}

}  // namespace

void handleEndingSignals() { SetConsoleCtrlHandler(removeNewFileAndEnd, TRUE); }

void holdEndingSignals() { holding = 1; }

void releaseEndingSignals() { holding = 0; }

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

namespace {

// The file or directory at path, opened for asking about it only, or
// INVALID_HANDLE_VALUE.
HANDLE openToAsk(const char* path) {
  return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The file's identity within its volume.
std::uint64_t fileIndex(const BY_HANDLE_FILE_INFORMATION& about) {
  return (std::uint64_t{about.nFileIndexHigh} << 32) | about.nFileIndexLow;
}

}  // namespace

int fileFacts(const char* path, FileFacts* facts) {
  struct _stat64 info;
  if (_stat64(path, &info) != 0) return errno;
  facts->regular = (info.st_mode & _S_IFMT) == _S_IFREG;
  facts->mode = static_cast<unsigned>(info.st_mode & 0777);
  facts->writeRefused = (info.st_mode & _S_IWRITE) != 0 ? 0 : EACCES;
  // The C runtime gives no link count or file identity: the file system does.
  HANDLE file = openToAsk(path);
  BY_HANDLE_FILE_INFORMATION about;
  if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &about)) {
    facts->links = about.nNumberOfLinks;
    facts->device = about.dwVolumeSerialNumber;
    facts->inode = fileIndex(about);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

int standardStreamOf(const FileFacts& facts) {
  if (facts.device == 0 && facts.inode == 0) return -1;
  for (int fd = 1; fd <= 2; ++fd) {
    BY_HANDLE_FILE_INFORMATION about;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    // A write of no bytes fails on a handle not open for writing.
    DWORD written = 0;
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &about) &&
        about.dwVolumeSerialNumber == facts.device && fileIndex(about) == facts.inode &&
        WriteFile(handle, "", 0, &written, nullptr)) {
      return fd;
    }
  }
  return -1;
}

int resolveLinks(const char* path, std::string* resolved) {
  *resolved = path;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return 0;
  }
  // A link to an existing file: the path the system opens through it.
  HANDLE file = openToAsk(path);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char final[MAX_PATH * 4];
  DWORD n = GetFinalPathNameByHandleA(file, final, sizeof final, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (n > 0 && n < sizeof final) resolved->assign(final, n);
  return 0;
}

bool randomBytes(unsigned char* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    unsigned random = 0;
    if (rand_s(&random) != 0) {
      errno = EIO;
      return false;
    }
    bytes[i] = static_cast<unsigned char>(random);
  }
  return true;
}

int openNewFileDirectory(const std::string& dir) {
  removeNewFile();
  newFileDirectory = wide(dir);
  return 0;
}

// Windows makes no file without a name.
int createUnnamedFile(bool) {
  errno = EOPNOTSUPP;
  return -1;
}

// Windows files have no permission bits to keep private. Opened so that the
// control handler may delete it while it is open.
int createNamedFile(const std::string& name, bool) {
  std::wstring path = newFileDirectory + wide(name);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = errnoOf(GetLastError());
    return -1;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(file);
    DeleteFileW(path.c_str());
    errno = EMFILE;
    return -1;
  }
  AcquireSRWLockExclusive(&newFileLock);
  newFileName = std::move(path);
  ReleaseSRWLockExclusive(&newFileLock);
  return fd;
}

int nameNewFile(int, const std::string&) { return EOPNOTSUPP; }

// Windows files have no owner or permission bits that tjoin could keep.
int keepOwner(int, const FileFacts&) { return 0; }
int keepMode(int, const FileFacts&) { return 0; }

int renameNewFile(const std::string& target) {
  AcquireSRWLockExclusive(&newFileLock);
  std::wstring to = newFileDirectory + wide(target);
  int error = 0;
  if (MoveFileExW(newFileName.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    newFileName.clear();
  } else {
    error = errnoOf(GetLastError());
  }
  ReleaseSRWLockExclusive(&newFileLock);
  return error;
}

void removeNewFile() {
  AcquireSRWLockExclusive(&newFileLock);
  if (!newFileName.empty()) DeleteFileW(newFileName.c_str());
  newFileName.clear();
  ReleaseSRWLockExclusive(&newFileLock);
}

int openOutput(const char* path, bool* created) {
  int fd = _open(path, _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd >= 0 || errno != ENOENT) {
    *created = false;
    return fd;
  }
  fd = _open(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  *created = fd >= 0;
  return fd;
}

void lockFile(int fd) {
  // The whole file, exclusively; the call waits for a lock another process
  // holds. It ends when the handle is closed.
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  OVERLAPPED whole{};
  if (file != INVALID_HANDLE_VALUE)
    LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
}

// Windows has no file-size limit. The room is asked for as the file's
// allocation, which changes neither its size nor its content; emptying the
// file frees it again.
int checkRoom(int fd, std::uint64_t bytes) {
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  LARGE_INTEGER size;
  if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileSizeEx(file, &size) || bytes <= static_cast<std::uint64_t>(size.QuadPart)) {
    return 0;
  }
  FILE_ALLOCATION_INFO allocation;
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(bytes);
  if (SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation))
    return 0;
  DWORD error = GetLastError();
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? ENOSPC : 0;
}

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

void keepFreedMemory() {}

// Committed pages that the system hands out zero-filled on first touch.
void* mapZeroPages(std::size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmapZeroPages(void* pages, std::size_t) { VirtualFree(pages, 0, MEM_RELEASE); }

}  // namespace tjoin
