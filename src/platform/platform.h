// The operating system's part of tjoin: file descriptors for the input and the
// output file, the new file that replaces an output, the standard streams and
// zero-filled memory. Everything else is portable C++. Failures are reported
// as errno values (std::strerror gives their text), as the C library reports
// them on every platform tjoin runs on.

#ifndef TJOIN_PLATFORM_PLATFORM_H_
#define TJOIN_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tjoin {

// How the platform's text files end a line: a line feed, or CR LF on Windows.
extern const std::string_view LineEnd;

// The bytes that end a directory's name in a path: "/", or "/\\" on Windows.
extern const std::string_view PathSeparators;

// Makes sure descriptors 0, 1 and 2 are open, so that no file tjoin opens
// takes one of them. A closed one is filled with the null device opened for
// reading only, so that writing a console message to it still fails. 1 and 2
// then take bytes as they are: writeLines gives every line its line end.
void guardStandardStreams();

// Opens path for reading bytes as they are. Returns the descriptor, or -1 with
// errno set.
int openInput(const char* path);

// The size of the file behind fd when it is a regular file; false for a pipe,
// a device or anything else whose size says nothing.
bool regularFileSize(int fd, std::uint64_t* size);

// read() and write(): at most n bytes; -1 with errno set on failure.
std::ptrdiff_t readSome(int fd, char* buffer, std::size_t n);
std::ptrdiff_t writeSome(int fd, const char* bytes, std::size_t n);

// What the output file is, where one exists: enough to decide whether it can
// be replaced by a new file without changing what it is.
struct FileFacts {
  bool regular = false;     // a regular file, not a pipe, device or directory
  std::uint64_t links = 1;  // hard links to it
  std::uint64_t device = 0, inode = 0;
  unsigned mode = 0;  // permission bits
  std::int64_t owner = -1, group = -1;
};

// The facts of the file at path, symbolic links followed. Returns 0, or an
// errno value (ENOENT where nothing is there).
int fileFacts(const char* path, FileFacts* facts);

// 1 or 2 when the file is the one open on standard output or standard error
// (the same device and inode), else -1.
int standardStreamOf(const FileFacts& facts);

// The path of the directory entry that path names once every symbolic link on
// it is followed: path itself where it is no link, the target of a dangling
// link. Returns 0, or an errno value (ELOOP for a loop of links).
int resolveLinks(const char* path, std::string* resolved);

// Fills bytes with n random bytes from the system. Returns false, with errno
// set, where it has none to give.
bool randomBytes(unsigned char* bytes, std::size_t n);

// Creates the file name, new and empty, for writing, never opening a file that
// is already there (EEXIST then), a planted symbolic link among them. Its
// permission bits are 0600 where privately is set, else 0664 as the umask
// allows. Until renameNewFile or removeNewFile, a SIGINT, SIGTERM or SIGHUP
// removes it before the process ends by that signal; there can be one such
// file at a time. Returns the descriptor, or -1 with errno set.
int createNewFile(const std::string& name, bool privately);

// Gives the file behind fd the permission bits, owner and group of facts.
// Returns 0, or an errno value: EPERM where the process may not give them.
int keepModeAndOwner(int fd, const FileFacts& facts);

// Renames the new file over target, in one step: target names the old file
// until then, the whole new one after. Returns 0, or an errno value (EACCES,
// EPERM or EBUSY where the system refuses to replace target).
int renameNewFile(const std::string& name, const std::string& target);

// Removes the new file, as far as it can.
void removeNewFile(const std::string& name);

// Opens path for writing without emptying it, creating it (permission bits
// 0664, as the umask allows, where the platform has them) when it is missing;
// *created tells which. Returns the descriptor, or -1 with errno set.
int openOutput(const char* path, bool* created);

// Checks that the file system has room for bytes more bytes in the file
// behind fd, without changing its size or content. A check, not a
// reservation: the room is not held for the writes that follow. Returns 0, or
// ENOSPC, EDQUOT or EFBIG when the room is not there. Where the file system or
// the file kind cannot tell (a pipe, a device, a platform without the call),
// returns 0.
int checkRoom(int fd, std::uint64_t bytes);

// Empties the file behind fd when it is a regular file (a device or a pipe
// has nothing to empty). Returns 0 or an errno value.
int emptyFile(int fd);

// Closes fd; returns 0 or an errno value.
int closeFile(int fd);

// Removes the file at path, as far as it can.
void removeFile(const char* path);

// Prefaults the memory pages of [start, start + bytes) now, in one call,
// instead of with one page fault each when first written (on the benchmark machine a
// fault costs about 1.5 us, this about 1.2 us a page). A hint only: it does
// nothing where the system has no such call, nor for a range within one page,
// where the call costs more than the fault it saves. The range may begin and end
// inside a page; the pages it touches must be the caller's, mapped writable.
void prefaultPages(void* start, std::size_t bytes);

// Asks the C library to keep memory that the program frees for its next
// allocations rather than hand it back to the system, which would give fresh
// pages, each a page fault, to every fold step. A hint only.
void keepFreedMemory();

// bytes of zero-filled memory that cost nothing until written, or nullptr.
void* mapZeroPages(std::size_t bytes);
void unmapZeroPages(void* pages, std::size_t bytes);

}  // namespace tjoin

#endif  // TJOIN_PLATFORM_PLATFORM_H_
