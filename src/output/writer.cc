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

// The lines go to the output in blocks of BlockBytes or a little more. A
// block is one write(), so few that their cost is the copy of the bytes into
// the file; its lines are built straight into it. Its room, a block and a
// line's worth, stays below the size at which the C library maps memory of
// its own, so the second block reuses the first one's pages. W2, 9 runs each:
// 23.3 ms with 64 KiB, 24.0 with 32 KiB, 24.7 with 16 KiB, and with 256 KiB,
// whose room was mapped anew, 0.5 MB more memory.
constexpr std::size_t BlockBytes = 64 * 1024;
constexpr std::size_t BlockRoom = BlockBytes + 4096;

// Where n more bytes go, with Chunk bytes of room beyond them.
constexpr std::size_t Chunk = 16;
char* room(Batch& batch, std::size_t n) {
  const std::size_t needed = batch.length + n + Chunk;
  if (batch.bytes.size() < needed) {
    batch.bytes.resize(needed <= BlockRoom ? BlockRoom : 2 * needed);
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

// Adds the bytes and lines of relation's block: its header line, its row
// lines (cells, a "," between two, a line feed each) and the empty line.
void addBlockSize(const Relation& relation, OutputSize& size) {
  std::string header;
  headerLine(relation, header);
  std::uint64_t bytes = header.size() + 1 +
                        static_cast<std::uint64_t>(relation.rowCount) *
                            static_cast<std::uint64_t>(std::max(relation.columnCount, 1));
  for (int c = 0; c < relation.columnCount; ++c) {
    for (int r = 0; r < relation.rowCount; ++r) bytes += cellText(cellAt(relation, c, r)).size();
  }
  size.bytes += bytes;
  size.lines += 2 + static_cast<std::uint64_t>(relation.rowCount);
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

void flush(LineOutput& out, Batch& batch) {
  writeLines(out, std::string_view(batch.bytes.data(), batch.length));
  batch.length = 0;
}

// Appends relation's block, its rows made lines by rowLineOf, writing each
// full block on the way.
template <typename RowLine>
void addBlock(LineOutput& out, const Relation& relation, Batch& batch, RowLine rowLineOf) {
  std::string header;
  headerLine(relation, header);
  append(batch, header);
  for (int r = 0; r < relation.rowCount; ++r) {
    rowLineOf(relation, r, batch);
    if (batch.length >= BlockBytes) flush(out, batch);
  }
  append(batch, "\n");
}

}  // namespace

void writeInputTables(LineOutput& out) {
  Batch batch;
  append(batch, headingLine() + "\n");
  for (int i = 0; i < store.tableCount; ++i) addBlock(out, store.tables[i], batch, inputRowLine);
  flush(out, batch);
}

void writeRelation(LineOutput& out, const Relation& relation) {
  Batch batch;
  addBlock(out, relation, batch, rowLine);
  flush(out, batch);
}

OutputSize outputSize() {
  OutputSize size;
  size.bytes = headingLine().size() + 1;
  size.lines = 2;
  for (int i = 0; i < store.tableCount; ++i) addBlockSize(store.tables[i], size);
  addBlockSize(store.result, size);
  return size;
}

}  // namespace tjoin
