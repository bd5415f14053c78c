#include "output/output_file.h"

#include <cerrno>
#include <cstring>

#include "output/line_output.h"
#include "output/writer.h"
#include "platform/platform.h"
#include "store/quote.h"
#include "store/store.h"

namespace tjoin {
bool writeOutputFile(const char* path, std::string* err) {
  auto fail = [&](int error) {
    *err = "cannot write " + quoted(path) + ": " + std::strerror(error);
    return false;
  };
  OutputSize size = outputSize();
  std::uint64_t bytes = size.bytes + size.lines * (LineEnd.size() - 1);

  bool created = false;
  int fd = openOutput(path, &created);
  if (fd < 0) return fail(errno);
  // After a failure a file this run created goes again; an existing one that
  // lacks room for the output is left as it was.
  auto abandon = [&](int error) {
    closeFile(fd);
    if (created) removeFile(path);
    return fail(error);
  };
  if (int error = reserveRoom(fd, bytes)) return abandon(error);
  if (int error = emptyFile(fd)) return abandon(error);

  LineOutput out;
  out.fd = fd;
  writeInputTables(out);
  writeRelation(out, store.result);
  int error = out.error;
  int closeError = closeFile(fd);
  if (error == 0) error = closeError;
  if (error != 0) {
    if (created) removeFile(path);
    return fail(error);
  }
  return true;
}

}  // namespace tjoin
