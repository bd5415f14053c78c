#include "output/line_output.h"

#include <cerrno>

#include "platform/platform.h"

namespace tjoin {

void writeLine(LineOutput& out, std::string_view line) {
  ++out.writes;
  if (out.fd < 0) {
    out.text.append(line);
    return;
  }
  if (out.error != 0) return;
  if (LineEnd.size() != 1) {
    out.converted.clear();
    for (std::size_t feed; (feed = line.find('\n')) != std::string_view::npos;) {
      out.converted.append(line.substr(0, feed)).append(LineEnd);
      line.remove_prefix(feed + 1);
    }
    line = out.converted.append(line);
  }
  while (!line.empty()) {
    std::ptrdiff_t n = writeSome(out.fd, line.data(), line.size());
    if (n <= 0) {
      out.error = n < 0 ? errno : EIO;
      return;
    }
    line.remove_prefix(static_cast<std::size_t>(n));
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
  writeLine(console, line.append(reason).append("\n"));
}

}  // namespace tjoin
