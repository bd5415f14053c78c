// The run of tjoin: read the input file, fold its tables from left to right
// into store.result, write the output file. Console messages go to standard
// output; errors are one line "tjoin: ..." on standard error.

#ifndef TJOIN_DRIVER_RUN_H_
#define TJOIN_DRIVER_RUN_H_

#include <string>

namespace tjoin {

// Exit statuses of a run.
constexpr int ExitUsage = -1;
constexpr int ExitOk = 0;
constexpr int ExitError = 1;

// Fills store.result with the fold of the input tables: a natural join for the
// first step, then for each further table a natural join when it shares
// columns with the result so far, else a direct product ("direktszorzat jon").
// A single table is announced ("Egy tabla van csak, eredmeny kiirasa!") and
// becomes the result as it is. Fails, naming the step and the limit in *err,
// when a step's output would not fit a Relation.
bool foldTables(std::string* err);

// Says on standard error, when a console message could not be written, why
// ("tjoin: cannot write standard output: ..."); returns whether it did.
bool reportLostConsole();

// The whole job for the two file arguments; returns the exit status.
// REQUIRES: the store in its initial state; guardStandardStreams() called.
int run(const char* inputPath, const char* outputPath);

}  // namespace tjoin

#endif  // TJOIN_DRIVER_RUN_H_
