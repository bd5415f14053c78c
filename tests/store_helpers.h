// Helpers for the unit tests: loading input text into the store and showing
// Relations as short strings that whole-value assertions can compare.

#ifndef TJOIN_TESTS_STORE_HELPERS_H_
#define TJOIN_TESTS_STORE_HELPERS_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "input/reader.h"
#include "platform/line_output.h"
#include "store/store.h"

namespace tjoin {

// Resets the store and reads input into it; returns the reader's error, or "".
inline std::string load(std::string_view input) {
  resetStore();
  std::string err;
  return readInput(input, &err) ? "" : err;
}

// Runs step with the console messages kept in memory; returns them.
template <typename Step>
std::string printedBy(Step step) {
  LineOutput& out = standardOutput();
  out.fd = -1;
  step();
  out.fd = 1;
  std::string printed;
  printed.swap(out.text);
  return printed;
}

// count lines of row, each followed by its number when numbered ("k0", "k1", ...).
inline std::string repeatedLines(int count, const std::string& row, bool numbered = false) {
  std::string text;
  for (int r = 0; r < count; ++r) text += row + (numbered ? std::to_string(r) : "") + "\n";
  return text;
}

// The header line "table(p0 t, p1 t, ...)" of a table with columns columns
// named prefix and their number.
inline std::string wideHeader(const std::string& table, int columns, const std::string& prefix) {
  std::string header = table + "(";
  for (int c = 0; c < columns; ++c) {
    if (c > 0) header += ", ";
    header.append(prefix).append(std::to_string(c)).append(" t");
  }
  return header + ")\n";
}

// "name(a int, b text)".
inline std::string showColumns(const Relation& relation) {
  std::string shown(relation.name);
  shown += '(';
  for (int c = 0; c < relation.columnCount; ++c) {
    if (c > 0) shown += ", ";
    shown += relation.columns[c].name;
    shown += ' ';
    shown += relation.columns[c].type;
  }
  return shown + ')';
}

// "1,x|2,y": the rows, cells joined by "," and rows by "|".
inline std::string showRows(const Relation& relation) {
  std::string shown;
  for (int r = 0; r < relation.rowCount; ++r) {
    if (r > 0) shown += '|';
    for (int c = 0; c < relation.columnCount; ++c) {
      if (c > 0) shown += ',';
      shown += cellText(cellAt(relation, c, r));
    }
  }
  return shown;
}

}  // namespace tjoin

#endif  // TJOIN_TESTS_STORE_HELPERS_H_
