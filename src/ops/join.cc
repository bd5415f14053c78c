#include "ops/join.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ops/compose.h"
#include "ops/join_key.h"
#include "ops/product.h"
#include "store/store.h"

namespace tjoin {
namespace {

// The join cells of one side of a fold step: columns[0] to columns[count - 1]
// of relation, in ColumnPair order. A row's key is the bytes of its join cells
// with a "," between two, the same for both sides when the cells are equal.
// When the columns are consecutive columns of one input table in their order
// (a run of origins, as the writer calls it), a row's key stands in the text as it is,
// from its first cell to the end of its last, in every row whose last cell
// holds a value (only values missing at a row's end are empty cells), and
// needs no copy. Otherwise it is copied into a buffer, cell by cell.
struct KeyColumns {
  const Relation& relation;
  const std::int32_t* columns;
  int count;
  bool inText;  // the columns are such a run
};

// Whether relation's columns[0..count) are consecutive columns of one input
// table, in order: their origins (store/relation.h) say so.
// REQUIRES: count > 0.
bool isRun(const Relation& relation, const std::int32_t* columns, int count) {
  assert(count > 0);
  const Column& first = relation.columns[columns[0]];
  if (first.originTable < 0) return false;
  for (int k = 1; k < count; ++k) {
    const Column& column = relation.columns[columns[k]];
    if (column.originTable != first.originTable || column.originColumn != first.originColumn + k) {
      return false;
    }
  }
  return true;
}

// Row row's key copied cell by cell into buffer, whose size only grows. Most
// cells are short: each is copied as one block of Chunk bytes, a move rather
// than a call, where the text holds that many from the cell on; the bytes
// past the cell are overwritten by the next. W5's left keys (2 cells, not
// side by side in the right's order) took 1.85 M instructions to copy with
// std::string's appends, 1.59 M this way (callgrind).
[[gnu::noinline]] std::string_view copyKey(const KeyColumns& key, int row, std::string& buffer) {
  constexpr std::size_t Chunk = 16;
  const char* text = store.text.data();
  const char* textEnd = text + store.text.size();
  std::size_t size = 0;
  for (int k = 0; k < key.count; ++k) {
    const char* cell = text + cellAt(key.relation, key.columns[k], row);
    const std::size_t length = cellLength(cell);
    if (buffer.size() < size + length + Chunk) buffer.resize(2 * (size + length + Chunk));
    if (length <= Chunk && textEnd - cell >= static_cast<std::ptrdiff_t>(Chunk)) {
      std::memcpy(buffer.data() + size, cell, Chunk);
    } else {
      std::memcpy(buffer.data() + size, cell, length);
    }
    size += length;
    buffer[size++] = ',';
  }
  return std::string_view(buffer.data(), size - 1);  // without the last ","
}

// Row row's key: a view of the text, or of buffer, which it fills.
inline std::string_view keyOf(const KeyColumns& key, int row, std::string& buffer) {
  const Cell last = cellAt(key.relation, key.columns[key.count - 1], row);
  if (!key.inText || (last == EmptyCell && key.count > 1)) return copyKey(key, row, buffer);
  const char* text = store.text.data();
  const char* begin = text + cellAt(key.relation, key.columns[0], row);
  return std::string_view(begin,
                          static_cast<std::size_t>(text + last - begin) + cellLength(text + last));
}

// The right rows chained by bucket, the top bits of the 32-bit hash of their
// join cells: bucket b's chain starts at row head[b] and goes on from row j to
// links[j].next, in ascending row order, until NoRow. Probing left rows in
// order then yields the output in the order of the pairwise definition, and a
// probe reads only its own bucket. Each link holds its row's hash's low 16
// bits, so that a probe rejects most rows of its chain without reading their
// cells.
//
// Row numbers are 16 bits wide: the index of 10000 rows takes 72 KB, where
// 32-bit bucket offsets, hashes and rows took 184 KB, and in a new process
// every page of it is one more page fault (W5: 18 pages, not 46; its join step
// went from 0.71 to 0.64 ms in the run, W2's later steps from 0.50 to 0.465).
using RowLink = std::uint16_t;
constexpr RowLink NoRow = 0xFFFF;
static_assert(MaxRows <= NoRow, "every row number is a RowLink below NoRow");

struct RightIndex {
  struct Link {
    std::uint16_t tag;  // the low 16 bits of the row's hash
    RowLink next;
  };
  std::vector<RowLink> head;
  std::vector<Link> links;  // per right row
  int shift;                // 32 less the bucket bits; at least two buckets keep it below 32
};

std::size_t bucketOf(const RightIndex& index, std::uint32_t hash) {
  return static_cast<std::size_t>(hash >> index.shift);
}

RightIndex indexRight(const KeyColumns& right) {
  RightIndex index{};
  const int rowCount = right.relation.rowCount;
  int bits = 1;
  while ((1 << bits) < rowCount) ++bits;
  index.shift = 32 - bits;
  index.head.assign(std::size_t{1} << bits, NoRow);
  index.links.resize(static_cast<std::size_t>(rowCount));
  std::string buffer;
  // From the last row down, so that each chain ends up ascending.
  for (int j = rowCount - 1; j >= 0; --j) {
    std::uint32_t h = hashKey(keyOf(right, j, buffer));
    RowLink& head = index.head[bucketOf(index, h)];
    index.links[j] = {static_cast<std::uint16_t>(h), head};
    head = static_cast<RowLink>(j);
  }
  return index;
}

}  // namespace

bool naturalJoin(const Relation& left, const Relation& right, std::string* err) {
  if (store.pairCount == 0) return directProduct(left, right, err);

  // A right column stands once in the output's shape however many ColumnPairs
  // it is in (two equal left columns can pair with it).
  std::array<bool, MaxColumns> keepRight;
  keepRight.fill(true);
  for (int k = 0; k < store.pairCount; ++k) keepRight[store.rightIndex[k]] = false;
  int width = left.columnCount;
  for (int c = 0; c < right.columnCount; ++c) width += keepRight[c] ? 1 : 0;
  if (!checkShape(width, 0, err)) return false;

  // The ColumnPairs in the order of their right columns: a right table's
  // join columns side by side then make a key that stands in the text
  // whatever order the left has them in (W5's right table holds b, a).
  std::array<std::int32_t, MaxColumns> leftColumns{}, rightColumns{};
  const int count = store.pairCount;
  for (int k = 0; k < count; ++k) rightColumns[k] = k;
  std::stable_sort(rightColumns.begin(), rightColumns.begin() + count,
                   [](int a, int b) { return store.rightIndex[a] < store.rightIndex[b]; });
  for (int k = 0; k < count; ++k) {
    leftColumns[k] = store.leftIndex[rightColumns[k]];
    rightColumns[k] = store.rightIndex[rightColumns[k]];
  }
  const KeyColumns leftKey{left, leftColumns.data(), count, isRun(left, leftColumns.data(), count)};
  const KeyColumns rightKey{right, rightColumns.data(), count,
                            isRun(right, rightColumns.data(), count)};
  RightIndex index = indexRight(rightKey);
  std::vector<RowPair> rows;
  rows.reserve(static_cast<std::size_t>(std::min(left.rowCount, MaxRows)));
  std::string leftBuffer, rightBuffer;
  for (int i = 0; i < left.rowCount; ++i) {
    const std::string_view bytes = keyOf(leftKey, i, leftBuffer);
    const std::uint32_t hash = hashKey(bytes);
    auto tag = static_cast<std::uint16_t>(hash);
    for (RowLink j = index.head[bucketOf(index, hash)]; j != NoRow; j = index.links[j].next) {
      if (index.links[j].tag != tag || !sameKey(bytes, keyOf(rightKey, j, rightBuffer))) continue;
      if (rows.size() == MaxRows) return checkShape(width, MaxRows + 1, err);
      rows.push_back({i, j});
    }
  }
  composeResult(left, right, keepRight, rows);
  return true;
}

}  // namespace tjoin
