#include "ops/join.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "ops/compose.h"
#include "ops/product.h"
#include "store/store.h"

namespace tjoin {
namespace {

std::uint64_t hashBytes(std::uint64_t h, std::string_view bytes) {
  for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3ULL;  // FNV-1a
  return (h ^ ',') * 0x100000001b3ULL;  // a cell never holds ",": keeps cells apart
}

// Spreads the FNV bits over the whole word before they pick a bucket.
std::uint64_t finish(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

std::uint64_t hashRow(const Relation& relation, int row, const std::int32_t* columns, int count) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (int k = 0; k < count; ++k) h = hashBytes(h, cellText(cellAt(relation, columns[k], row)));
  return finish(h);
}

bool rowsMatch(const Relation& left, int i, const Relation& right, int j) {
  for (int k = 0; k < store.pairCount; ++k) {
    if (cellText(cellAt(left, store.leftIndex[k], i)) !=
        cellText(cellAt(right, store.rightIndex[k], j)))
      return false;
  }
  return true;
}

// The right rows chained by the hash of their join cells: chains list rows in
// ascending order, so probing left rows in order yields the output in the
// order of the pairwise definition.
struct RightIndex {
  std::vector<std::uint64_t> hashes;  // per right row
  std::vector<std::int32_t> next;     // per right row: the next row in its bucket, or -1
  std::vector<std::int32_t> heads;    // per bucket: its first row, or -1
  std::uint64_t mask = 0;
};

RightIndex indexRight(const Relation& right) {
  RightIndex index;
  std::size_t buckets = 1;
  while (buckets < 2 * static_cast<std::size_t>(right.rowCount)) buckets *= 2;
  index.mask = buckets - 1;
  index.heads.assign(buckets, -1);
  index.next.resize(static_cast<std::size_t>(right.rowCount));
  index.hashes.resize(static_cast<std::size_t>(right.rowCount));
  for (int j = right.rowCount - 1; j >= 0; --j) {
    std::uint64_t h = hashRow(right, j, store.rightIndex.data(), store.pairCount);
    index.hashes[j] = h;
    index.next[j] = index.heads[h & index.mask];
    index.heads[h & index.mask] = j;
  }
  return index;
}

}  // namespace

bool naturalJoin(const Relation& left, const Relation& right, std::string* err) {
  if (store.pairCount == 0) return directProduct(left, right, err);

  // A right column stands once in the output's shape however many ColumnPairs
  // it is in (two equal left columns can pair with it).
  bool keepRight[MaxColumns];
  for (bool& keep : keepRight) keep = true;
  for (int k = 0; k < store.pairCount; ++k) keepRight[store.rightIndex[k]] = false;
  int width = left.columnCount;
  for (int c = 0; c < right.columnCount; ++c) width += keepRight[c] ? 1 : 0;
  if (width > MaxColumns) {
    *err = tooManyColumns(width);
    return false;
  }

  RightIndex index = indexRight(right);
  std::vector<RowPair> rows;
  for (int i = 0; i < left.rowCount; ++i) {
    std::uint64_t h = hashRow(left, i, store.leftIndex.data(), store.pairCount);
    for (int j = index.heads[h & index.mask]; j >= 0; j = index.next[j]) {
      if (index.hashes[j] != h || !rowsMatch(left, i, right, j)) continue;
      if (rows.size() == MaxRows) {
        *err = tooManyRows();
        return false;
      }
      rows.push_back({i, j});
    }
  }
  composeResult(left, right, keepRight, rows);
  return true;
}

}  // namespace tjoin
