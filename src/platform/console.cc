#include "platform/console.h"

#include <cerrno>

#include "platform/platform.h"

namespace tjoin {

int writeText(int fd, std::string_view text, std::string& converted) {
  if (LineEnd.size() != 1) {
    converted.clear();
    for (std::size_t feed; (feed = text.find('\n')) != std::string_view::npos;) {
      converted.append(text.substr(0, feed)).append(LineEnd);
      text.remove_prefix(feed + 1);
    }
    text = converted.append(text);
  }
  while (!text.empty()) {
    std::ptrdiff_t n = writeSome(fd, text.data(), text.size());
    if (n <= 0) return n < 0 ? errno : EIO;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

Console& console() {
  static Console standardOutput;
  return standardOutput;
}

void print(std::string_view message) {
  Console& out = console();
  if (out.kept != nullptr) {
    out.kept->append(message);
  } else if (out.error == 0) {
    out.error = writeText(1, message, out.converted);
  }
}

void printError(std::string_view reason) {
  std::string line = "tjoin: ", converted;
  writeText(2, line.append(reason).append("\n"), converted);
}

}  // namespace tjoin
