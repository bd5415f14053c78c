// libFuzzer target: the whole job in memory, through the functions the driver
// calls: the input bytes to the reader, the fold, the writers into a string.
//
// Beyond "no crash, no undefined behaviour", it checks that a run either
// succeeds or fails with a one-line reason, that every table of a run that
// succeeds has a name, one without "(", and that on success the written
// output, read again as input, yields the same input tables. That holds for
// the names of the file format: column names and types that are not empty and
// hold none of ",", "(" and ")" (the header syntax), table names without them,
// and no one-column table with an empty cell (written as an empty line, which
// the reader skips).

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "driver/run.h"
#include "input/reader.h"
#include "output/writer.h"
#include "platform/line_output.h"
#include "store/store.h"

namespace {

bool plainName(std::string_view name) {
  return name.find_first_of(",()") == std::string_view::npos;
}
bool plainWord(std::string_view word) { return !word.empty() && plainName(word); }

bool readsBackTheSame() {
  for (int t = 0; t < tjoin::store.tableCount; ++t) {
    const tjoin::Relation& table = tjoin::store.tables[t];
    if (!plainName(table.name)) return false;
    for (int c = 0; c < table.columnCount; ++c) {
      if (!plainWord(table.columns[c].name) || !plainWord(table.columns[c].type)) return false;
    }
    if (table.columnCount != 1) continue;
    for (int r = 0; r < table.rowCount; ++r) {
      if (tjoin::cellText(tjoin::cellAt(table, 0, r)).empty()) return false;
    }
  }
  return true;
}

std::string inputTables() {
  tjoin::LineOutput out;
  tjoin::writeInputTables(out);
  return out.text;
}

void check(bool condition, const char* what) {
  if (condition) return;
  std::cerr << "tjoin_fuzzer: " << what << '\n';
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The run's messages, kept.
  tjoin::standardOutput().fd = -1;
  tjoin::standardOutput().text.clear();

  tjoin::resetStore();
  std::string err;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  bool ok = tjoin::readInput(input, &err) && tjoin::foldTables(&err);
  if (!ok) {
    check(!err.empty() && err.find('\n') == std::string::npos,
          "a failed run needs a one-line reason");
    return 0;
  }
  for (int t = 0; t < tjoin::store.tableCount; ++t) {
    std::string_view name = tjoin::store.tables[t].name;
    check(!name.empty() && name.find('(') == std::string_view::npos,
          "every table read has a name, without \"(\"");
  }

  // The output file: the input tables, then the result.
  std::string tables = inputTables();
  tjoin::LineOutput result;
  tjoin::writeRelation(result, tjoin::store.result);
  tjoin::OutputSize expected = tjoin::outputSize();
  check(expected.bytes == tables.size() + result.text.size(),
        "the output's size is known before it is written");
  if (!readsBackTheSame()) return 0;

  std::string written = tables + result.text;
  tjoin::resetStore();
  check(tjoin::readInput(written, &err), "the output reads back");
  check(inputTables() == tables, "the output reads back as the same input tables");
  return 0;
}
