#include "ops/join.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ops/compose.h"
#include "ops/product.h"
#include "store/store.h"

namespace tjoin {
namespace {

// 64-bit FNV-1a over the join cells, then a multiply-xorshift finaliser
// (MurmurHash3's): FNV's top bits are its weakest, and the index reads them.
constexpr std::uint64_t FnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t FnvPrime = 0x100000001b3ULL;
constexpr std::uint64_t FinalMultiplier = 0xff51afd7ed558ccdULL;

// Hashes a cell's bytes in the same pass that finds their end (a pass for
// each, cellText's and the hash's, makes a join step about 10% slower).
std::uint64_t hashCell(std::uint64_t h, Cell cell) {
  for (const char* p = store.text.data() + cell; !endsCell(*p); ++p) {
    h = (h ^ static_cast<unsigned char>(*p)) * FnvPrime;
  }
  return (h ^ ',') * FnvPrime;  // a cell never holds ",": keeps cells apart
}

std::uint32_t hashRow(const Relation& relation, int row, const std::int32_t* columns, int count) {
  std::uint64_t h = FnvOffsetBasis;
  for (int k = 0; k < count; ++k) h = hashCell(h, cellAt(relation, columns[k], row));
  h ^= h >> 33;
  h *= FinalMultiplier;
  return static_cast<std::uint32_t>((h ^ (h >> 33)) >> 32);
}

// Whether two cells hold the same bytes, compared in the pass that finds
// their ends: join cells are mostly short, where finding both ends first and
// then comparing costs more than the comparison itself (W5's join step took
// 0.415 ms this way, 0.505 ms with cellText and a compare; BM_NaturalJoinStep/W5).
bool sameCell(Cell a, Cell b) {
  const char* p = store.text.data() + a;
  const char* q = store.text.data() + b;
  for (; *p == *q; ++p, ++q) {
    if (endsCell(*p)) return true;
  }
  return endsCell(*p) && endsCell(*q);
}

bool rowsMatch(const Relation& left, int i, const Relation& right, int j) {
  for (int k = 0; k < store.pairCount; ++k) {
    if (!sameCell(cellAt(left, store.leftIndex[k], i), cellAt(right, store.rightIndex[k], j))) {
      return false;
    }
  }
  return true;
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

RightIndex indexRight(const Relation& right) {
  RightIndex index{};
  int bits = 1;
  while ((1 << bits) < right.rowCount) ++bits;
  index.shift = 32 - bits;
  index.head.assign(std::size_t{1} << bits, NoRow);
  index.links.resize(static_cast<std::size_t>(right.rowCount));
  // From the last row down, so that each chain ends up ascending.
  for (int j = right.rowCount - 1; j >= 0; --j) {
    std::uint32_t h = hashRow(right, j, store.rightIndex.data(), store.pairCount);
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

  RightIndex index = indexRight(right);
  std::vector<RowPair> rows;
  rows.reserve(static_cast<std::size_t>(std::min(left.rowCount, MaxRows)));
  // A left row's hash is taken Ahead rows before its probe, and its bucket's
  // head asked for then: the head is a random read, from memory rather than
  // cache in a new process. End to end, W5's join step took 0.59 ms this way
  // and 0.64 ms hashing each row at its probe; W2's later steps 0.42 and
  // 0.47 ms. (Asking for the head's row's text as well made it slower.)
  constexpr int Ahead = 8;
  std::array<std::uint32_t, Ahead> hashes{};  // left row i's is hashes[i % Ahead]
  auto hashAhead = [&](int i) {
    if (i >= left.rowCount) return;
    hashes[i % Ahead] = hashRow(left, i, store.leftIndex.data(), store.pairCount);
    __builtin_prefetch(&index.head[bucketOf(index, hashes[i % Ahead])]);
  };
  for (int i = 0; i < Ahead; ++i) hashAhead(i);
  for (int i = 0; i < left.rowCount; ++i) {
    std::uint32_t h = hashes[i % Ahead];
    hashAhead(i + Ahead);
    auto tag = static_cast<std::uint16_t>(h);
    for (RowLink j = index.head[bucketOf(index, h)]; j != NoRow; j = index.links[j].next) {
      if (index.links[j].tag != tag || !rowsMatch(left, i, right, j)) continue;
      if (rows.size() == MaxRows) return checkShape(width, MaxRows + 1, err);
      rows.push_back({i, j});
    }
  }
  composeResult(left, right, keepRight, rows);
  return true;
}

}  // namespace tjoin
