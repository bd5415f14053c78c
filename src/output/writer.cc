#include "output/writer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "store/store.h"

namespace tjoin {
namespace {

// Writes line, which ends with its line feed, and flushes it to the file.
// Straight to the stream's buffer: a line is too short to pay for the
// stream's sentries twice. A buffer that fails keeps its own error.
void writeLine(std::ostream& out, std::string_view line) {
  std::streambuf* buffer = out.rdbuf();
  buffer->sputn(line.data(), static_cast<std::streamsize>(line.size()));
  buffer->pubsync();
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

// "join(A,B)" and a line feed: the heading line naming the input tables.
std::string headingLine() {
  std::string line = "join(";
  for (int i = 0; i < store.tableCount; ++i) {
    if (i > 0) line += ',';
    line += store.tables[i].name;
  }
  return line += ")\n";
}

// "name(a int, b text)" and a line feed, built in line.
void headerLine(const Relation& relation, std::string& line) {
  line.assign(relation.name);
  line += '(';
  for (int c = 0; c < relation.columnCount; ++c) {
    if (c > 0) line += ", ";
    line += relation.columns[c].name;
    line += ' ';
    line += relation.columns[c].type;
  }
  line += ")\n";
}

// The bytes and lines of relation's block, whose row lines take rowBytes.
void addBlockSize(const Relation& relation, std::uint64_t rowBytes, OutputSize& size) {
  std::string header;
  headerLine(relation, header);
  size.bytes += header.size() + rowBytes + 1;  // and the empty line that ends the block
  size.lines += 2 + static_cast<std::uint64_t>(relation.rowCount);
}

// The bytes of relation's row lines: its cells, a "," between two and a line
// feed each.
std::uint64_t rowLineBytes(const Relation& relation) {
  std::uint64_t bytes = static_cast<std::uint64_t>(relation.rowCount) *
                        static_cast<std::uint64_t>(std::max(relation.columnCount, 1));
  for (int c = 0; c < relation.columnCount; ++c) {
    for (int r = 0; r < relation.rowCount; ++r) bytes += cellText(cellAt(relation, c, r)).size();
  }
  return bytes;
}

}  // namespace

void writeInputTables(std::ostream& out) {
  writeLine(out, headingLine());
  writeLine(out, "\n");
  for (int i = 0; i < store.tableCount; ++i) writeRelation(out, store.tables[i]);
}

void writeRelation(std::ostream& out, const Relation& relation) {
  // One buffer, rebuilt for every line, so a line costs no allocation once it
  // has grown to the longest.
  std::string line;
  headerLine(relation, line);
  writeLine(out, line);
  for (int r = 0; r < relation.rowCount; ++r) writeLine(out, rowLine(relation, r, line));
  writeLine(out, "\n");
}

OutputSize outputSize() {
  OutputSize size;
  size.bytes = headingLine().size() + 1;
  size.lines = 2;
  // The reader has counted the input tables' row lines; the result's are
  // counted here.
  for (int i = 0; i < store.tableCount; ++i) {
    addBlockSize(store.tables[i], store.rowLineBytes[i], size);
  }
  addBlockSize(store.result, rowLineBytes(store.result), size);
  return size;
}

}  // namespace tjoin
