#include "output/output_file.h"

#include <cerrno>
#include <cstring>
#include <string>
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

// Empties the file at path and writes content into it, or creates it.
int writeInPlace(const char* path, OutputContent content) {
  bool created = false;
  int fd = openOutput(path, &created);
  if (fd < 0) return errno;
  OutputSize size = outputSize();
  int error = checkRoom(fd, size.bytes + size.lines * (LineEnd.size() - 1));
  if (error == 0) error = emptyFile(fd);
  error = writeAndClose(fd, error, content);
  // A file this run created goes again; an existing one that lacked room was
  // left as it was.
  if (error != 0 && created) removeFile(path);
  return error;
}

// Makes a new empty file beside path, in the same directory, as createNewFile
// does, under a hidden random name that says it is tjoin's:
// ".out.txt.tjoin-Xy3k9Q" for "out.txt", a long name cut short so that the
// name stays within what file systems take. Returns the descriptor with the
// name in *name, or -1 with errno set.
int createNewFileBeside(const std::string& path, bool privately, std::string* name) {
  std::size_t separator = path.find_last_of(PathSeparators);
  std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const std::string prefix =
      path.substr(0, nameStart) + "." + path.substr(nameStart, 200) + ".tjoin-";
  constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (!randomBytes(random, sizeof random)) return -1;
    std::string candidate = prefix;
    for (unsigned char byte : random) candidate += Letters[byte % (sizeof Letters - 1)];
    int fd = createNewFile(candidate, privately);
    if (fd >= 0) {
      *name = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

// Reasons not to replace: the system or the file's owner would not have it.
bool refused(int error) { return error == EACCES || error == EPERM || error == EBUSY; }

// Writes content to a new file beside the file at path and renames it over
// that file; where that would change what the output is, writes in place.
// exists tells whether path names a file, with its facts in old.
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
      return writeInPlace(path, content);
    }
  }
  std::string name;
  int fd = createNewFileBeside(target, exists, &name);
  if (fd < 0) {
    int error = errno;
    // A directory closed to the user may hold a file open to them.
    return exists && refused(error) ? writeInPlace(path, content) : error;
  }
  int error = exists ? keepModeAndOwner(fd, old) : 0;
  if (exists && refused(error)) {
    closeFile(fd);
    removeNewFile(name);
    return writeInPlace(path, content);
  }
  error = writeAndClose(fd, error, content);
  if (error == 0) error = renameNewFile(name, target);
  if (error == 0) return 0;
  removeNewFile(name);
  return exists && refused(error) ? writeInPlace(path, content) : error;
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
      error = writeInPlace(path, content);
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
