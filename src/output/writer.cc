#include "output/writer.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "store/store.h"

namespace tjoin {
namespace {

// The lines go to the output in blocks of BlockBytes or a little more. A
// block is one write(), so few that their cost is the copy of the bytes into
// the file; its lines are built straight into it. Its room, a block and a
// line's worth, is reserved at once and stays below the size at which the C
// library maps memory of its own, so the second block reuses the first one's
// pages. W2, 9 runs each: 23.3 ms with 64 KiB, 24.0 with 32 KiB, 24.7 with
// 16 KiB, and with 256 KiB, whose room was mapped anew, 0.5 MB more memory.
// Within the reserved room the lines' room grows from a page by doubling: a
// tiny output touches the pages its bytes need, not a block's (W1 took 16
// page faults more with the block's room zeroed at once).
constexpr std::size_t BlockBytes = std::size_t{64} * 1024;
constexpr std::size_t BlockRoom = BlockBytes + 4096;
constexpr std::size_t FirstRoom = 4096;

// Lines built ahead of their writes. bytes' size is its room, not the length
// of the lines in it: it only grows, ahead of the copies, so each cell costs
// one plain copy instead of std::string's checks on every append (the
// writers took 89.8 M instructions on W2 this way, 111.3 M with clear() and
// append()).
struct Batch {
  Batch() { bytes.reserve(BlockRoom); }
  std::string bytes;
  std::size_t length = 0;
};

// Where n more bytes go, with Chunk bytes of room beyond them.
constexpr std::size_t Chunk = 32;
[[gnu::noinline]] void grow(Batch& batch, std::size_t needed) {
  std::size_t grown = std::min(std::max(FirstRoom, 2 * batch.bytes.size()), BlockRoom);
  batch.bytes.resize(std::max(needed, grown));
}
inline char* room(Batch& batch, std::size_t n) {
  const std::size_t needed = batch.length + n + Chunk;
  if (batch.bytes.size() < needed) grow(batch, needed);
  return batch.bytes.data() + batch.length;
}

void append(Batch& batch, std::string_view bytes) {
  std::memcpy(room(batch, bytes.size()), bytes.data(), bytes.size());
  batch.length += bytes.size();
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
// rowsInText, where not empty, are those row lines as they stand in the text.
void addBlockSize(const Relation& relation, std::string_view rowsInText, OutputSize& size) {
  std::string header;
  headerLine(relation, header);
  std::uint64_t bytes = header.size() + 1 + rowsInText.size();
  if (rowsInText.empty()) {
    bytes += static_cast<std::uint64_t>(relation.rowCount) *
             static_cast<std::uint64_t>(std::max(relation.columnCount, 1));
    for (int c = 0; c < relation.columnCount; ++c) {
      for (int r = 0; r < relation.rowCount; ++r) bytes += cellText(cellAt(relation, c, r)).size();
    }
  }
  size.bytes += bytes;
  size.lines += 2 + static_cast<std::uint64_t>(relation.rowCount);
}

// Columns first to first + count - 1 of a Relation, which are consecutive
// columns of one input table: in each row their cells stand in the text one
// after the other, but for empty cells at the end (see Column).
struct ColumnRun {
  int first;
  int count;
};

// relation's columns cut into the longest runs; a column of no input table
// is a run of its own. An input table is one run.
std::vector<ColumnRun> columnRunsOf(const Relation& relation) {
  std::vector<ColumnRun> runs;
  for (int p = 0; p < relation.columnCount; ++p) {
    const Column& column = relation.columns[p];
    if (p > 0 && column.originTable >= 0 &&
        column.originTable == relation.columns[p - 1].originTable &&
        column.originColumn == relation.columns[p - 1].originColumn + 1) {
      ++runs.back().count;
    } else {
      runs.push_back({p, 1});
    }
  }
  return runs;
}

// Whether the first stored cells of run in row r stand in the text one after
// the other with a "," between two, as a run's cells must.
[[maybe_unused]] bool standsAsRead(const Relation& relation, const ColumnRun& run, int stored,
                                   int r) {
  for (int k = 1; k < stored; ++k) {
    const Cell before = cellAt(relation, run.first + k - 1, r);
    if (cellAt(relation, run.first + k, r) != before + cellText(before).size() + 1) return false;
  }
  return true;
}

// How many rows ahead appendRowLine prefetches the text of a run's first value.
constexpr int Ahead = 8;

// Appends row r as a line: its cells, each followed by a ",", the last one's
// "," made a line feed. Each run is one copy of the text from its first value
// to the end of its last stored one, then a "," per missing value and one
// after the last. A result row's runs lie anywhere in the text, each in its
// own input row, so their text is prefetched Ahead rows early. W2's result (41
// columns, 10 runs a row) took 2.63 ms to lay out cell by cell, 1.68 ms run
// by run, 1.35 ms with the text prefetched (BM_WriteResult); 1.1 to 1.6 ms of
// CPU in its latest runs, the figure cellLength gives.
void appendRowLine(const Relation& relation, const std::vector<ColumnRun>& runs, int r,
                   Batch& batch) {
  const char* text = store.text.data();
  const char* textEnd = text + store.text.size();
  if (r + Ahead < relation.rowCount) {
    for (const ColumnRun& run : runs) {
      __builtin_prefetch(text + cellAt(relation, run.first, r + Ahead));
    }
  }
  for (const ColumnRun& run : runs) {
    int stored = run.count;
    while (stored > 0 && cellAt(relation, run.first + stored - 1, r) == EmptyCell) --stored;
    assert(standsAsRead(relation, run, stored, r));
    std::size_t span = 0;
    const char* first = text + cellAt(relation, run.first, r);
    if (stored > 0) {
      std::string_view last = cellText(cellAt(relation, run.first + stored - 1, r));
      span = static_cast<std::size_t>(last.data() + last.size() - first);
    }
    const std::size_t commas = static_cast<std::size_t>(run.count - stored) + (stored > 0);
    char* to = room(batch, span + commas);
    // Most spans are short: they are copied as one fixed block of Chunk
    // bytes, a move or two rather than a call, where the text holds that
    // many bytes from the span on. What lies past the span is overwritten.
    if (span <= Chunk && textEnd - first >= static_cast<std::ptrdiff_t>(Chunk)) {
      std::memcpy(to, first, Chunk);
    } else {
      std::memcpy(to, first, span);
    }
    to[span] = ',';  // most runs end at their last value: one ","
    if (commas > 1) std::memset(to + span + 1, ',', commas - 1);
    batch.length += span + commas;
  }
  if (runs.empty()) {
    append(batch, "\n");
  } else {
    batch.bytes[batch.length - 1] = '\n';  // the "," after the last cell ends the line
  }
}

// Writes lines, whole lines of the text, in pieces of about PieceBytes, each
// cut after a line feed: where line ends are CR LF, each piece is converted in
// a copy of its own, which stays that small.
constexpr std::size_t PieceBytes = 1 << 20;
void writeLinesInPieces(LineOutput& out, std::string_view lines) {
  while (!lines.empty()) {
    std::size_t cut = lines.size();
    if (cut > PieceBytes) {
      cut = lines.rfind('\n', PieceBytes - 1) + 1;  // 0 when no line ends there
      if (cut == 0) cut = lines.find('\n', PieceBytes) + 1;
    }
    writeLines(out, lines.substr(0, cut));
    lines.remove_prefix(cut);
  }
}

void flush(LineOutput& out, Batch& batch) {
  writeLines(out, std::string_view(batch.bytes.data(), batch.length));
  batch.length = 0;
}

// Appends relation's block, writing each full block on the way. rowsInText,
// where not empty, are its row lines as they stand in the text: they go out
// from there with no copy, or into the block when they are fewer bytes than
// one (a write() of their own would cost more). W2's input tables took 1.09
// ms to lay out row by row, 0.18 ms this way into memory (BM_WriteInputTables),
// for 0.16 ms more that the reader spends telling whether they stand so
// (BM_ReadInput).
void addBlock(LineOutput& out, const Relation& relation, std::string_view rowsInText,
              Batch& batch) {
  std::string header;
  headerLine(relation, header);
  append(batch, header);
  if (rowsInText.empty()) {
    const std::vector<ColumnRun> runs = columnRunsOf(relation);
    for (int r = 0; r < relation.rowCount; ++r) {
      appendRowLine(relation, runs, r, batch);
      if (batch.length >= BlockBytes) flush(out, batch);
    }
  } else if (batch.length + rowsInText.size() <= BlockBytes) {
    append(batch, rowsInText);
  } else {
    flush(out, batch);
    writeLinesInPieces(out, rowsInText);
  }
  append(batch, "\n");
}

}  // namespace

void writeInputTables(LineOutput& out) {
  Batch batch;
  append(batch, headingLine() + "\n");
  for (int i = 0; i < store.tableCount; ++i) {
    addBlock(out, store.tables[i], store.rowsInText[i], batch);
  }
  flush(out, batch);
}

void writeRelation(LineOutput& out, const Relation& relation) {
  Batch batch;
  addBlock(out, relation, {}, batch);
  flush(out, batch);
}

OutputSize outputSize() {
  OutputSize size;
  size.bytes = headingLine().size() + 1;
  size.lines = 2;
  for (int i = 0; i < store.tableCount; ++i) {
    addBlockSize(store.tables[i], store.rowsInText[i], size);
  }
  addBlockSize(store.result, {}, size);
  return size;
}

}  // namespace tjoin
