#include "output/writer.h"

#include <cstring>
#include <string>
#include <string_view>

#include "store/store.h"

namespace tjoin {
namespace {

// Writes line, which ends with its line feed, and flushes it to the file.
void writeLine(std::ostream& out, std::string_view line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.flush();
}

// Row r as a line: its cells separated by "," and a line feed, built in line,
// whose size only grows. Rows are most of the output, and a plain copy per cell
// costs less than std::string's checks on every append.
std::string_view rowLine(const Relation& relation, int r, std::string& line) {
  std::size_t length = 0;
  for (int c = 0; c < relation.columnCount; ++c) {
    std::string_view cell = cellText(cellAt(relation, c, r));
    if (line.size() < length + cell.size() + 1) line.resize(2 * (length + cell.size() + 1));
    std::memcpy(line.data() + length, cell.data(), cell.size());
    length += cell.size();
    line[length++] = ',';
  }
  if (length == 0) return "\n";
  line[length - 1] = '\n';  // the separator after the last cell ends the line
  return std::string_view(line.data(), length);
}

}  // namespace

void writeInputTables(std::ostream& out) {
  std::string line = "join(";
  for (int i = 0; i < store.tableCount; ++i) {
    if (i > 0) line += ',';
    line += store.tables[i].name;
  }
  line += ")\n";
  writeLine(out, line);
  writeLine(out, "\n");
  for (int i = 0; i < store.tableCount; ++i) writeRelation(out, store.tables[i]);
}

void writeRelation(std::ostream& out, const Relation& relation) {
  // One buffer, rebuilt for every line, so a line costs no allocation once it
  // has grown to the longest.
  std::string line(relation.name);
  line += '(';
  for (int c = 0; c < relation.columnCount; ++c) {
    if (c > 0) line += ", ";
    line += relation.columns[c].name;
    line += ' ';
    line += relation.columns[c].type;
  }
  line += ")\n";
  writeLine(out, line);
  for (int r = 0; r < relation.rowCount; ++r) writeLine(out, rowLine(relation, r, line));
  writeLine(out, "\n");
}

}  // namespace tjoin
