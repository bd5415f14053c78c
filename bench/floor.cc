// The floor: only the file traffic of a tjoin run, the least a process can do
// for the job. Reads the input file whole, writes the bytes of the expected
// output file (read beforehand) to a new file beside the output path in 1 MiB
// blocks, and renames it over the output path, as tjoin replaces an output.
// With --per-line it writes the output path itself, emptied, one write() per
// line, as tjoin did while it flushed every line.
//
//   tjoin_floor [--per-line] <inputfile> <outputfile> <reference output>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool readWhole(const char* path, std::string* bytes) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  bytes->resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes->size()) {
    ssize_t n = read(fd, bytes->data() + done, bytes->size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return close(fd) == 0;
}

// Writes bytes to fd in pieces that end where next says.
template <typename Next>
bool writeInPieces(int fd, const std::string& bytes, Next next) {
  const char* at = bytes.data();
  const char* end = at + bytes.size();
  while (at < end) {
    const char* to = next(at, end);
    if (write(fd, at, static_cast<std::size_t>(to - at)) != to - at) return false;
    at = to;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool perLine = argc == 5 && std::strcmp(argv[1], "--per-line") == 0;
  if (argc != 4 && !perLine) {
    std::fputs("usage: tjoin_floor [--per-line] <inputfile> <outputfile> <reference output>\n",
               stderr);
    return 2;
  }
  char** files = argv + (perLine ? 2 : 1);
  std::string reference, input;
  if (!readWhole(files[2], &reference) || !readWhole(files[0], &input)) return 1;
  if (perLine) {
    int fd = open(files[1], O_WRONLY | O_CREAT | O_TRUNC, 0664);
    if (fd < 0) return 1;
    bool ok = writeInPieces(fd, reference, [](const char* line, const char* end) {
      const char* feed = static_cast<const char*>(std::memchr(line, '\n', end - line));
      return feed ? feed + 1 : end;
    });
    return ok && close(fd) == 0 ? 0 : 1;
  }
  std::string fresh = std::string(files[1]) + ".floor-new";
  int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0664);
  if (fd < 0) return 1;
  constexpr std::ptrdiff_t Block = 1 << 20;
  bool ok = writeInPieces(fd, reference, [](const char* at, const char* end) {
    return end - at > Block ? at + Block : end;
  });
  if (close(fd) != 0 || !ok || rename(fresh.c_str(), files[1]) != 0) {
    unlink(fresh.c_str());
    return 1;
  }
  return 0;
}
