#include "input/quote.h"

namespace tjoin {

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7f) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

std::string quoted(std::string_view text, std::size_t maxBytes) {
  bool cut = text.size() > maxBytes;
  if (cut) text = text.substr(0, maxBytes);
  std::string out(1, '\'');
  out += escaped(text);
  out += cut ? "...'" : "'";
  return out;
}

}  // namespace tjoin
