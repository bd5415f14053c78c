// The console: tjoin's messages on standard output, its errors on standard
// error, and the one way text reaches a descriptor with the platform's line
// ends, which the output file's lines take too.

#ifndef TJOIN_PLATFORM_CONSOLE_H_
#define TJOIN_PLATFORM_CONSOLE_H_

#include <string>
#include <string_view>

namespace tjoin {

// Writes all of text, whole lines ending with a line feed, to fd, each line
// feed as the platform's line end; converted is room for the converted text
// where that is CR LF. Returns 0, or the errno of the write that failed.
int writeText(int fd, std::string_view text, std::string& converted);

// Standard output as the run's messages see it.
struct Console {
  int error = 0;                // errno of the first failed write; nothing is written after it
  std::string* kept = nullptr;  // where set, the messages go here instead (tests, the fuzzer)
  std::string converted;
};
Console& console();

// Writes message, whole lines, to standard output as it is printed.
void print(std::string_view message);

// Writes "tjoin: ", reason and a line end to standard error.
void printError(std::string_view reason);

}  // namespace tjoin

#endif  // TJOIN_PLATFORM_CONSOLE_H_
