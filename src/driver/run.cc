#include "driver/run.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "input/input_file.h"
#include "ops/join.h"
#include "ops/matching.h"
#include "ops/product.h"
#include "output/output_file.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "store/quote.h"
#include "store/store.h"

namespace tjoin {
namespace {

// "fold step 1 ('A' with 'B')", or "fold step 2 (the result with 'C')".
std::string describeStep(int i) {
  std::string left = i == 1 ? quoted(store.tables[0].name) : "the result";
  return "fold step " + std::to_string(i) + " (" + left + " with " + quoted(store.tables[i].name) +
         ")";
}

int fail(const std::string& err) {
  printError(err);
  return ExitError;
}

// Says "tjoin: out of memory" on standard error without allocating: the
// memory may stay refused.
int failForMemory() {
  constexpr std::string_view OutOfMemory = "tjoin: out of memory";
  for (std::string_view piece : {OutOfMemory, LineEnd}) {
    while (!piece.empty()) {
      std::ptrdiff_t n = writeSome(2, piece.data(), piece.size());
      if (n <= 0) return ExitError;
      piece.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  return ExitError;
}

int runJob(const char* inputPath, const char* outputPath) {
  std::string err;
  if (!readInputFile(inputPath, &err)) return fail(err);
  if (!foldTables(&err)) return fail(err);
  // The console messages must have reached standard output before the output
  // file is touched: a run whose messages are lost has failed.
  if (reportLostConsole()) return ExitError;
  // Opened only now: a run that fails before this leaves the output file as it was.
  if (!writeOutputFile(outputPath, &err)) return fail(err);
  return ExitOk;
}

}  // namespace

bool foldTables(std::string* err) {
  if (store.tableCount == 1) {
    print("Egy tabla van csak, eredmeny kiirasa!\n");
    copyRelation(store.tables[0], store.result);
    store.result.name = "result";
    return true;
  }
  // Each step replaces the result whole, counts included.
  for (int i = 1; i < store.tableCount; ++i) {
    // The first step always joins: with no common column the join is the product.
    const Relation& left = i == 1 ? store.tables[0] : store.result;
    const Relation& right = store.tables[i];
    bool ok = findCommonColumns(left, right, err);
    if (ok && i > 1 && store.pairCount == 0) {
      print("direktszorzat jon\n");
      ok = directProduct(left, right, err);
    } else if (ok) {
      ok = naturalJoin(left, right, err);
    }
    if (!ok) {
      *err = describeStep(i) + ": " + *err;
      return false;
    }
  }
  return true;
}

bool reportLostConsole() {
  int error = console().error;
  if (error != 0) printError(std::string("cannot write standard output: ") + std::strerror(error));
  return error != 0;
}

int run(const char* inputPath, const char* outputPath) {
  // The store's own memory, and every string and vector of the run: the
  // system may refuse any of them (a ulimit, a full machine).
  try {
    if (!storeHasCells()) return failForMemory();
    return runJob(inputPath, outputPath);
  } catch (const std::bad_alloc&) {
    return failForMemory();
  } catch (const std::length_error&) {
    return failForMemory();
  }
}

}  // namespace tjoin
