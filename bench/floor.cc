// The floor: only the file traffic of a tjoin run. Reads the input file whole,
// then writes the bytes of the expected output file (read beforehand) to the
// output path with one write() per line, as tjoin's flush per line does.
//
//   tjoin_floor <inputfile> <outputfile> <reference output>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: tjoin_floor <inputfile> <outputfile> <reference output>\n", stderr);
    return 2;
  }
  std::string reference, input;
  if (!readWhole(argv[3], &reference) || !readWhole(argv[1], &input)) return 1;
  int fd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0664);
  if (fd < 0) return 1;
  const char* line = reference.data();
  const char* end = line + reference.size();
  while (line < end) {
    const char* feed = static_cast<const char*>(std::memchr(line, '\n', end - line));
    const char* next = feed ? feed + 1 : end;
    if (write(fd, line, next - line) != next - line) return 1;
    line = next;
  }
  return close(fd) == 0 ? 0 : 1;
}
