// Where whole lines go: a file descriptor or a string. The output file and
// the console both write through it.

#ifndef TJOIN_OUTPUT_LINE_OUTPUT_H_
#define TJOIN_OUTPUT_LINE_OUTPUT_H_

#include <string>
#include <string_view>

namespace tjoin {

struct LineOutput {
  int fd = -1;            // the descriptor written, or -1: the lines go to text
  std::string text;       // the lines written, when fd is -1
  int error = 0;          // errno of the first failed write; nothing is written after it
  std::string converted;  // lines with the platform's line ends, where those are CR LF
};

// Hands lines to out in one write() where the system takes them at once
// (a console message is one line, so it reaches the console as it is
// printed). On a descriptor each line feed is stored as the platform's line
// end; text keeps line feeds.
void writeLines(LineOutput& out, std::string_view lines);

// Standard output, descriptor 1, for the console messages of a run. Its error
// tells whether every message reached it.
LineOutput& standardOutput();

// Writes "tjoin: ", reason and a line end to standard error.
void printError(std::string_view reason);

}  // namespace tjoin

#endif  // TJOIN_OUTPUT_LINE_OUTPUT_H_
