// Where tjoin's lines go: standard output (the console messages), standard
// error, the output file, or a string (tests, the fuzzer). Every byte that
// tjoin writes to a descriptor goes through writeLines, which gives each line
// the platform's line end.

#ifndef TJOIN_PLATFORM_LINE_OUTPUT_H_
#define TJOIN_PLATFORM_LINE_OUTPUT_H_

#include <string>
#include <string_view>

namespace tjoin {

struct LineOutput {
  int fd = -1;            // the descriptor written, or -1: the lines go to text
  std::string text;       // the lines written, when fd is -1
  int error = 0;          // errno of the first failed write; nothing is written after it
  std::string converted;  // lines with the platform's line ends, where those are CR LF
};

// Hands lines, whole lines each ending with a line feed, to out in one
// write() where the system takes them at once. On a descriptor each line feed
// is stored as the platform's line end; text keeps line feeds.
void writeLines(LineOutput& out, std::string_view lines);

// Standard output, where the run's messages go: descriptor 1, unless a test
// or the fuzzer keeps them in its text.
LineOutput& standardOutput();

// Writes message, whole lines, to standard output as it is printed.
void print(std::string_view message);

// Writes "tjoin: ", reason and a line end to standard error.
void printError(std::string_view reason);

}  // namespace tjoin

#endif  // TJOIN_PLATFORM_LINE_OUTPUT_H_
