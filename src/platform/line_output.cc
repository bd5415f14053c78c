#include "platform/line_output.h"

#include "platform/console.h"

namespace tjoin {

void writeLines(LineOutput& out, std::string_view lines) {
  if (out.fd < 0) {
    out.text.append(lines);
  } else if (out.error == 0) {
    out.error = writeText(out.fd, lines, out.converted);
  }
}

}  // namespace tjoin
