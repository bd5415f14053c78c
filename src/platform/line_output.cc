#include "platform/line_output.h"

#include <cerrno>

#include "platform/platform.h"

namespace tjoin {

void writeLines(LineOutput& out, std::string_view lines) {
  if (out.fd < 0) {
    out.text.append(lines);
    return;
  }
  if (out.error != 0) return;
  if (LineEnd.size() != 1) {
    out.converted.clear();
    for (std::size_t feed; (feed = lines.find('\n')) != std::string_view::npos;) {
      out.converted.append(lines.substr(0, feed)).append(LineEnd);
      lines.remove_prefix(feed + 1);
    }
    lines = out.converted.append(lines);
  }
  while (!lines.empty()) {
    std::ptrdiff_t n = writeSome(out.fd, lines.data(), lines.size());
    if (n <= 0) {
      out.error = n < 0 ? errno : EIO;
      return;
    }
    lines.remove_prefix(static_cast<std::size_t>(n));
  }
}

LineOutput& standardOutput() {
  static LineOutput out = [] {
    LineOutput standard;
    standard.fd = 1;
    return standard;
  }();
  return out;
}

void print(std::string_view message) { writeLines(standardOutput(), message); }

void printError(std::string_view reason) {
  LineOutput out;
  out.fd = 2;
  writeLines(out, std::string("tjoin: ").append(reason).append("\n"));
}

}  // namespace tjoin
