// The operating system's part of tjoin: file descriptors for the input and the
// output file, the new file that replaces an output, the signals that would
// end tjoin while it writes, the standard streams and zero-filled memory.
// Everything else is portable C++. Failures are reported
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

// Sets up how tjoin ends when it is stopped: every signal that would end the
// process and can be caught (SIGINT, SIGTERM, SIGHUP, SIGPIPE, the real-time
// signals and the others of that kind; on Windows Ctrl-C, Ctrl-Break and the
// console's closing) first removes the new file, if there is one, and then
// ends the process as it would have ended without tjoin's handler. A signal
// that the caller had ignored stays ignored. SIGXFSZ is ignored: a write past
// the file-size limit then fails with EFBIG instead of ending the process.
void handleEndingSignals();

// Holds back the signals that handleEndingSignals handles, from
// holdEndingSignals until releaseEndingSignals: one that comes meanwhile takes
// effect when they are released. Not nested.
void holdEndingSignals();
void releaseEndingSignals();

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
  int writeRefused = 0;  // why the process may not open it for writing (errno), or 0
};

// The facts of the file at path, symbolic links followed. Returns 0, or an
// errno value (ENOENT where nothing is there).
int fileFacts(const char* path, FileFacts* facts);

// 1 or 2 when the file is the one open on standard output or standard error
// (the same device and inode) and that descriptor is open for writing, else
// -1.
int standardStreamOf(const FileFacts& facts);

// The path of the directory entry that path names once every symbolic link on
// it is followed, as many as the system follows in one path: path itself
// where it is no link, the target of a dangling link. Returns 0, or an errno
// value (ELOOP for too many links, or why a link could not be looked at).
int resolveLinks(const char* path, std::string* resolved);

// Fills bytes with n random bytes from the system. Returns false, with errno
// set, where it has none to give.
bool randomBytes(unsigned char* bytes, std::size_t n);

// The new file that replaces an output file. It is made in the directory of
// the file it replaces, without a name where the system can (Linux: then a
// SIGKILL or a crash while it is written leaves nothing behind), else under
// a hidden name; it gets its final name by renameNewFile. There is one at a
// time. Until it is renamed or removed, every signal that handleEndingSignals
// handles removes it first. Names are names within the directory.

// Opens dir, a path ending at a separator or "" for the current directory, as
// the directory of the new file. Returns 0, or an errno value.
int openNewFileDirectory(const std::string& dir);

// Makes the new file, empty and without a name, for writing; its permission
// bits are 0600 where privately is set, else 0664 as the umask allows.
// Returns the descriptor, or -1 with errno set (EOPNOTSUPP where the system
// or the file system cannot make such a file, or could not name it later).
int createUnnamedFile(bool privately);

// Makes the new file under name, empty, for writing, never opening a file
// that is already there (EEXIST then), a planted symbolic link among them.
// Permission bits as createUnnamedFile. Returns the descriptor, or -1 with
// errno set.
int createNamedFile(const std::string& name, bool privately);

// Gives the unnamed new file open on fd the name. Returns 0, or an errno
// value (EEXIST where the name is taken).
int nameNewFile(int fd, const std::string& name);

// Gives the file behind fd the owner and group of facts. Returns 0, or an
// errno value: EPERM where the process may not give them.
int keepOwner(int fd, const FileFacts& facts);

// Gives the file behind fd the permission bits of facts, set-user-ID,
// set-group-ID and sticky bits included. Writing to a file may clear the
// first two, so this comes after the last write. Returns 0, or an errno value.
int keepMode(int fd, const FileFacts& facts);

// Renames the named new file, closed, over target, in one step: target names
// the old file until then, the whole new one after. Returns 0, or an errno
// value (EACCES, EPERM or EBUSY where the system refuses to replace target).
// The new file is then tjoin's no more.
int renameNewFile(const std::string& target);

// Removes the new file's name, if it has one, as far as it can, and closes its
// directory.
void removeNewFile();

// Opens path for writing without emptying it, creating it (permission bits
// 0664, as the umask allows, where the platform has them) when it is missing;
// *created tells which. Returns the descriptor, or -1 with errno set.
int openOutput(const char* path, bool* created);

// Waits until no other process holds the advisory lock of the file behind
// fd, then holds it until fd is closed: a second tjoin that writes the same
// file in place waits for the first. Where the file system has no locks, it
// does nothing.
void lockFile(int fd);

// Checks that the file behind fd may grow to bytes bytes, its old content
// given up: within the file-size limit of the process (EFBIG), and within the
// room of its file system (ENOSPC or EDQUOT), counted with the old content's
// blocks free. A check, not a reservation: the room is not held for the
// writes that follow. Where the file system or the file kind cannot tell (a
// pipe, a device, a platform without the calls), returns 0.
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
