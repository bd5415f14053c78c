// tjoin <inputfile> <outputfile>: joins the tables of the input file and writes
// them, with their join, to the output file.

#include "driver/run.h"
#include "platform/console.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // Before anything is opened or written.
  tjoin::guardStandardStreams();
  tjoin::handleEndingSignals();
  tjoin::keepFreedMemory();
  if (argc != 3) {
    tjoin::print("Usage: tjoin <inputfile> <outputfile>\n");
    // A usage line that nobody sees is said where it can be; the status
    // stays the usage error's, which callers may test for.
    tjoin::reportLostConsole();
    return tjoin::ExitUsage;
  }
  return tjoin::run(argv[1], argv[2]);
}
