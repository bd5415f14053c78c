#include "output/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "input/quote.h"
#include "output/writer.h"
#include "platform/platform.h"
#include "store/store.h"

namespace tjoin {
namespace {

// Writes content to fd and returns the first errno of a write, or 0.
int writeContent(int fd, OutputContent content) {
  LineOutput out;
  out.fd = fd;
  content(out);
  return out.error;
}

// Writes content to fd, unless error, an earlier step's errno, is set, and
// closes fd. Returns the first errno of that step, the writes and the close,
// or 0.
int writeAndClose(int fd, int error, OutputContent content) {
  if (error == 0) error = writeContent(fd, content);
  int closeError = closeFile(fd);
  return error != 0 ? error : closeError;
}

// Writes all of bytes to fd. Returns 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    std::ptrdiff_t n = writeSome(fd, bytes.data(), bytes.size());
    if (n <= 0) return n < 0 ? errno : EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

// content as the file's bytes, each line ending as the platform's text files
// end it.
std::string bytesOf(OutputContent content) {
  OutputSize size = outputSize();
  LineOutput out;
  out.text.reserve(size.bytes);
  content(out);
  if (LineEnd.size() == 1) return std::move(out.text);
  std::string bytes;
  bytes.reserve(out.text.size() + size.lines * (LineEnd.size() - 1));
  for (char c : out.text) {
    if (c == '\n') {
      bytes.append(LineEnd);
    } else {
      bytes += c;
    }
  }
  return bytes;
}

// Empties the file at path and writes content into it, or creates it. regular
// tells whether path named a regular file.
//
// A regular file is emptied only once the whole output is built in memory
// (no allocation can fail after it), the file's lock is held (a second tjoin
// waits), and the room for the output was there; from then until it is
// whole and closed, the signals that would end tjoin are held back. A pipe, a
// terminal or a device has nothing to empty: the output streams to it, and a
// Ctrl-C still stops a run whose reader has stalled. Building in memory costs
// the output's size in memory, on this path only (a file with a second hard
// link, or one that tjoin may not replace).
int writeInPlace(const char* path, bool regular, OutputContent content) {
  std::string bytes;
  if (regular) bytes = bytesOf(content);
  bool created = false;
  int fd = openOutput(path, &created);
  if (fd < 0) return errno;
  int error = 0;
  if (!regular) {
    error = writeAndClose(fd, 0, content);
  } else {
    lockFile(fd);
    error = checkRoom(fd, bytes.size());
    std::uint64_t oldSize = 0;
    const bool hold = error == 0 && regularFileSize(fd, &oldSize);
    if (hold) holdEndingSignals();
    if (error == 0) error = emptyFile(fd);
    if (error == 0) error = writeAll(fd, bytes);
    int closeError = closeFile(fd);
    if (hold) releaseEndingSignals();
    if (error == 0) error = closeError;
  }
  // A file this run created goes again; an existing one that lacked room was
  // left as it was.
  if (error != 0 && created) removeFile(path);
  return error;
}

// Tries hidden names for the new file beside the file named base until
// attempt, which takes a name and returns 0 or an errno value, finds one that
// is not taken (attempt returns other than EEXIST). The names are hidden,
// random and say that the file is tjoin's: ".out.txt.tjoin-Xy3k9Q" for
// "out.txt", a long name cut short so that the name stays within what file
// systems take. Returns attempt's last value, or an errno value.
template <typename Attempt>
int tryHiddenNames(const std::string& base, Attempt attempt) {
  std::string prefix = ".";
  prefix.append(base, 0, 200).append(".tjoin-");
  constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int tries = 0; tries < 100; ++tries) {
    unsigned char random[6];
    if (!randomBytes(random, sizeof random)) return errno;
    std::string name = prefix;
    for (unsigned char byte : random) name += Letters[byte % (sizeof Letters - 1)];
    if (int error = attempt(name); error != EEXIST) return error;
  }
  return EEXIST;
}

// Makes the new file in the directory openNewFileDirectory opened: without a
// name where the system can, else under a hidden name beside base. Returns
// the descriptor and whether it is named, or -1 with errno set.
int createNewFile(const std::string& base, bool privately, bool* named) {
  int fd = createUnnamedFile(privately);
  *named = fd < 0;
  if (fd >= 0) return fd;
  int error = tryHiddenNames(base, [&](const std::string& name) {
    fd = createNamedFile(name, privately);
    return fd >= 0 ? 0 : errno;
  });
  errno = error;
  return error == 0 ? fd : -1;
}

// Reasons not to replace: the system or the file's owner would not have it.
bool refused(int error) { return error == EACCES || error == EPERM || error == EBUSY; }

// Owns the new file: removes it and closes its descriptor when it goes out of
// scope before it is renamed, an allocation that failed on the way included.
struct NewFile {
  ~NewFile() {
    if (fd >= 0) closeFile(fd);
    removeNewFile();
  }
  int fd = -1;
};

// Writes content to a new file beside the file at path and renames it over
// that file; where that would change what the output is, writes in place.
// exists tells whether path names a file, with its facts in old. The new file
// gets the old one's owner and group before its content, its permission bits
// after: a write by an unprivileged process clears set-user-ID and
// set-group-ID bits.
int replace(const char* path, bool exists, const FileFacts& old, OutputContent content) {
  std::string target;
  if (int error = resolveLinks(path, &target)) return error;
  if (exists && target != path) {
    // The entry that the links lead to must be the file that path opens (a
    // name under /proc may lead elsewhere); if not, the file is written as
    // path opens it.
    FileFacts found;
    if (fileFacts(target.c_str(), &found) != 0 || found.device != old.device ||
        found.inode != old.inode) {
      return writeInPlace(path, old.regular, content);
    }
  }
  // Made, named and renamed within the directory: a path the system takes
  // works, however long the hidden name beside it.
  std::size_t separator = target.find_last_of(PathSeparators);
  std::size_t baseStart = separator == std::string::npos ? 0 : separator + 1;
  const std::string base = target.substr(baseStart);
  int error = 0;
  {
    NewFile file;
    bool named = true;
    error = openNewFileDirectory(target.substr(0, baseStart));
    if (error == 0) {
      file.fd = createNewFile(base, exists, &named);
      if (file.fd < 0) error = errno;
    }
    if (error == 0 && exists) error = keepOwner(file.fd, old);
    if (error == 0) error = writeContent(file.fd, content);
    if (error == 0 && exists) error = keepMode(file.fd, old);
    if (error == 0 && !named) {
      error =
          tryHiddenNames(base, [&](const std::string& name) { return nameNewFile(file.fd, name); });
    }
    if (error == 0) {
      error = closeFile(file.fd);
      file.fd = -1;
    }
    if (error == 0) error = renameNewFile(base);
  }
  // A directory closed to the user may hold a file open to them.
  return exists && refused(error) ? writeInPlace(path, old.regular, content) : error;
}

}  // namespace

void writeOutput(LineOutput& out) {
  writeInputTables(out);
  writeRelation(out, store.result);
}

bool writeOutputFile(const char* path, std::string* err, OutputContent content) {
  FileFacts facts;
  int error = fileFacts(path, &facts);
  if (error == 0) {
    if (int stream = standardStreamOf(facts); stream >= 0) {
      error = writeContent(stream, content);
    } else if (!facts.regular || facts.links > 1) {
      error = writeInPlace(path, facts.regular, content);
    } else if (facts.writeRefused != 0) {
      // A file its permission bits keep from the user stays as it is, as an
      // open for writing would leave it: a new file renamed over it would
      // get round them.
      error = facts.writeRefused;
    } else {
      error = replace(path, true, facts, content);
    }
  } else if (error == ENOENT) {
    error = replace(path, false, facts, content);
  }
  if (error == 0) return true;
  *err = "cannot write " + quoted(path) + ": " + std::strerror(error);
  return false;
}

}  // namespace tjoin
