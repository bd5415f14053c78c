#include "output/writer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "store/store.h"

namespace tjoin {
namespace {

// Row r as a line: its cells separated by "," and a line feed, built in line.
// line's size is its room, not the line's length: it only grows, ahead of the
// copies, so each cell costs one plain copy instead of std::string's checks
// on every append (the writers take 89.8 M instructions on W2 this way,
// 111.3 M with clear() and append()).
std::string_view rowLine(const Relation& relation, int r, std::string& line) {
  // Most cells are short: they are copied as one fixed block of Chunk bytes,
  // which compiles to a move or two rather than a call, where the text holds
  // that many bytes from the cell on. What lies past the cell is overwritten.
  constexpr std::size_t Chunk = 16;
  const char* textEnd = store.text.data() + store.text.size();
  std::size_t length = 0;
  for (int c = 0; c < relation.columnCount; ++c) {
    std::string_view cell = cellText(cellAt(relation, c, r));
    if (line.size() < length + cell.size() + Chunk) line.resize(2 * (length + cell.size() + Chunk));
    if (cell.size() <= Chunk && textEnd - cell.data() >= static_cast<std::ptrdiff_t>(Chunk)) {
      std::memcpy(line.data() + length, cell.data(), Chunk);
    } else {
      std::memcpy(line.data() + length, cell.data(), cell.size());
    }
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
std::uint64_t countRowLineBytes(const Relation& relation) {
  std::uint64_t bytes = static_cast<std::uint64_t>(relation.rowCount) *
                        static_cast<std::uint64_t>(std::max(relation.columnCount, 1));
  for (int c = 0; c < relation.columnCount; ++c) {
    for (int r = 0; r < relation.rowCount; ++r) bytes += cellText(cellAt(relation, c, r)).size();
  }
  return bytes;
}

// Row r of an input table as a line, as rowLine builds it. The reader stores
// a row from one word of the text, so the values it stored stand there one
// after the other, a "," between two, and only missing values at the end are
// empty cells: the line is the text from the first value to the end of the
// last stored one, a "," per missing value and a line feed. Where the word
// ends its line of the text, that is the row's line as it stands, uncopied.
std::string_view inputRowLine(const Relation& relation, int r, std::string& line) {
  int stored = relation.columnCount;
  while (stored > 0 && cellAt(relation, stored - 1, r) == EmptyCell) --stored;
  if (stored == 0) return rowLine(relation, r, line);
  const char* first = store.text.data() + cellAt(relation, 0, r);
  std::string_view last = cellText(cellAt(relation, stored - 1, r));
  std::size_t span = static_cast<std::size_t>(last.data() + last.size() - first);
  if (stored == relation.columnCount && first[span] == '\n')
    return std::string_view(first, span + 1);
  std::size_t length = span + static_cast<std::size_t>(relation.columnCount - stored) + 1;
  if (line.size() < length) line.resize(2 * length);
  std::memcpy(line.data(), first, span);
  std::memset(line.data() + span, ',', length - span - 1);
  line[length - 1] = '\n';
  return std::string_view(line.data(), length);
}

// relation's block, its rows made lines by rowLineOf.
template <typename RowLine>
void writeBlock(LineOutput& out, const Relation& relation, RowLine rowLineOf) {
  // One buffer, rebuilt for every line, so a line costs no allocation once it
  // has grown to the longest.
  std::string line;
  headerLine(relation, line);
  writeLine(out, line);
  for (int r = 0; r < relation.rowCount; ++r) writeLine(out, rowLineOf(relation, r, line));
  writeLine(out, "\n");
}

}  // namespace

void writeInputTables(LineOutput& out) {
  writeLine(out, headingLine());
  writeLine(out, "\n");
  for (int i = 0; i < store.tableCount; ++i) writeBlock(out, store.tables[i], inputRowLine);
}

void writeRelation(LineOutput& out, const Relation& relation) {
  writeBlock(out, relation, rowLine);
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
  addBlockSize(store.result, countRowLineBytes(store.result), size);
  return size;
}

}  // namespace tjoin
