#include "output/line_output.h"

#include <cerrno>

#include "platform/platform.h"

namespace tjoin {

namespace {

// Writes all of bytes, or keeps the reason it could not.
void writeAll(LineOutput& out, std::string_view bytes) {
  while (!bytes.empty() && out.error == 0) {
    std::ptrdiff_t n = writeSome(out.fd, bytes.data(), bytes.size());
    if (n <= 0) {
      out.error = n < 0 ? errno : EIO;
    } else {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
}

}  // namespace

void writeLines(LineOutput& out, std::string_view lines) {
  if (out.fd < 0) {
    out.text.append(lines);
    return;
  }
  while (!lines.empty()) {
    std::size_t feed = lines.find('\n');
    std::size_t length = feed == std::string_view::npos ? lines.size() : feed + 1;
    std::string_view line = lines.substr(0, length);
    lines.remove_prefix(length);
    if (LineEnd.size() == 1 || line.back() != '\n') {
      writeAll(out, line);
    } else {
      out.converted.assign(line.substr(0, length - 1)).append(LineEnd);
      writeAll(out, out.converted);
    }
  }
}

LineOutput& standardOutput() {
  static LineOutput console = [] {
    LineOutput output;
    output.fd = 1;
    return output;
  }();
  return console;
}

void printError(std::string_view reason) {
  LineOutput console;
  console.fd = 2;
  std::string line = "tjoin: ";
  writeLines(console, line.append(reason).append("\n"));
}

}  // namespace tjoin
