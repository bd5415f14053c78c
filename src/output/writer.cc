#include "output/writer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "store/store.h"

namespace tjoin {
namespace {

// Lines built ahead of their writes. bytes' size is its room, not the length
// of the lines in it: it only grows, ahead of the copies, so each cell costs
// one plain copy instead of std::string's checks on every append (the
// writers took 89.8 M instructions on W2 this way, 111.3 M with clear() and
// append()).
struct Batch {
  std::string bytes;
  std::size_t length = 0;
};

// Where n more bytes go, with Chunk bytes of room beyond them.
constexpr std::size_t Chunk = 16;
char* room(Batch& batch, std::size_t n) {
  if (batch.bytes.size() < batch.length + n + Chunk) {
    batch.bytes.resize(2 * (batch.length + n + Chunk));
  }
  return batch.bytes.data() + batch.length;
}

void append(Batch& batch, std::string_view bytes) {
  std::memcpy(room(batch, bytes.size()), bytes.data(), bytes.size());
  batch.length += bytes.size();
}

// Appends row r as a line: its cells separated by "," and a line feed.
void rowLine(const Relation& relation, int r, Batch& batch) {
  // Most cells are short: they are copied as one fixed block of Chunk bytes,
  // which compiles to a move or two rather than a call, where the text holds
  // that many bytes from the cell on. What lies past the cell is overwritten.
  const char* textEnd = store.text.data() + store.text.size();
  for (int c = 0; c < relation.columnCount; ++c) {
    std::string_view cell = cellText(cellAt(relation, c, r));
    char* to = room(batch, cell.size());
    if (cell.size() <= Chunk && textEnd - cell.data() >= static_cast<std::ptrdiff_t>(Chunk)) {
      std::memcpy(to, cell.data(), Chunk);
    } else {
      std::memcpy(to, cell.data(), cell.size());
    }
    to[cell.size()] = ',';
    batch.length += cell.size() + 1;
  }
  if (relation.columnCount == 0) {
    append(batch, "\n");
  } else {
    batch.bytes[batch.length - 1] = '\n';  // the separator after the last cell ends the line
  }
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

// Appends row r of an input table as a line, as rowLine builds it. The reader
// stores a row from one word of the text, so the values it stored stand there
// one after the other, a "," between two, and only missing values at the end
// are empty cells: the line is the text from the first value to the end of
// the last stored one, a "," per missing value and a line feed.
void inputRowLine(const Relation& relation, int r, Batch& batch) {
  int stored = relation.columnCount;
  while (stored > 0 && cellAt(relation, stored - 1, r) == EmptyCell) --stored;
  if (stored == 0) return rowLine(relation, r, batch);
  const char* first = store.text.data() + cellAt(relation, 0, r);
  std::string_view last = cellText(cellAt(relation, stored - 1, r));
  std::size_t span = static_cast<std::size_t>(last.data() + last.size() - first);
  std::size_t length = span + static_cast<std::size_t>(relation.columnCount - stored) + 1;
  char* to = room(batch, length);
  std::memcpy(to, first, span);
  std::memset(to + span, ',', length - span - 1);
  to[length - 1] = '\n';
  batch.length += length;
}

// relation's block, its rows made lines by rowLineOf. The lines are built a
// batch at a time and then written one write() each. Where the system leaves
// the memory map's cache (the TLB) empty after every system call, as the
// benchmark machines do, a row's line touches a page of cells per column and
// a page of text per cell for a cost of its own; built together, between two
// writes, the rows of a batch share those pages, and each write then touches
// only the batch.
template <typename RowLine>
void writeBlock(LineOutput& out, const Relation& relation, Batch& batch, RowLine rowLineOf) {
  constexpr std::size_t BatchBytes = 16384;
  std::string header;
  headerLine(relation, header);
  append(batch, header);
  for (int r = 0; r < relation.rowCount; ++r) {
    rowLineOf(relation, r, batch);
    if (batch.length >= BatchBytes) {
      writeLines(out, std::string_view(batch.bytes.data(), batch.length));
      batch.length = 0;
    }
  }
  append(batch, "\n");
  writeLines(out, std::string_view(batch.bytes.data(), batch.length));
  batch.length = 0;
}

}  // namespace

void writeInputTables(LineOutput& out) {
  writeLines(out, headingLine() + "\n");
  Batch batch;
  for (int i = 0; i < store.tableCount; ++i) writeBlock(out, store.tables[i], batch, inputRowLine);
}

void writeRelation(LineOutput& out, const Relation& relation) {
  Batch batch;
  writeBlock(out, relation, batch, rowLine);
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
