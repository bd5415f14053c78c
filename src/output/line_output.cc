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
  if (LineEnd.size() == 1) return writeAll(out, lines);
  out.converted.clear();
  for (std::size_t feed; (feed = lines.find('\n')) != std::string_view::npos;) {
    out.converted.append(lines.substr(0, feed)).append(LineEnd);
    lines.remove_prefix(feed + 1);
  }
  writeAll(out, out.converted.append(lines));
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
