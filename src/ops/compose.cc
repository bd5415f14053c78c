#include "ops/compose.h"

#include <algorithm>
#include <cassert>

#include "store/store.h"

namespace tjoin {

void composeResult(const Relation& left, const Relation& right,
                   const std::array<bool, MaxColumns>& keepRight,
                   const std::vector<RowPair>& rows) {
  assert(rows.size() <= MaxRows);
  assert(left.columnCount +
             std::count(keepRight.begin(), keepRight.begin() + right.columnCount, true) <=
         MaxColumns);
  const int rowCount = static_cast<int>(rows.size());
  // Where the output is built. Straight into the result when left is another
  // Relation; when left is the result itself, in place as long as no output
  // row needs a left row that an earlier output row has overwritten (each
  // left row gives at most one output row, as in a lookup), else aside in the
  // scratch, whose cells then change places with the result's. Building in
  // place spares the copy and the scratch's pages.
  Relation& result = store.result;
  bool aside = false;
  if (&left == &result) {
    for (int r = 0; r < rowCount && !aside; ++r) aside = rows[r].left < r;
  }
  Relation& out = aside ? store.scratch : result;
  bool leftStays = &left == &out;  // and so do the rows that keep their place
  for (int r = 0; r < rowCount && leftStays; ++r) leftStays = rows[r].left == r;

  // Every Column and cell within the counts set below is written here (or
  // already holds its value), so leftovers beyond the counts are never read.
  int p = 0;
  for (int c = 0; c < left.columnCount; ++c, ++p) {
    out.columns[p] = left.columns[c];
    if (leftStays) continue;
    prefaultCells(out, p, 0, rowCount);
    for (int r = 0; r < rowCount; ++r) cellAt(out, p, r) = cellAt(left, c, rows[r].left);
  }
  for (int c = 0; c < right.columnCount; ++c) {
    if (!keepRight[c]) continue;
    out.columns[p] = right.columns[c];
    prefaultCells(out, p, 0, rowCount);
    for (int r = 0; r < rowCount; ++r) cellAt(out, p, r) = cellAt(right, c, rows[r].right);
    ++p;
  }
  // The joined shape stands even without rows, so the next step can match on it.
  out.name = "result";
  out.columnCount = p;
  out.rowCount = rowCount;
  if (aside) moveRelation(out, result);
}

bool checkShape(int width, std::int64_t rows, std::string* err) {
  if (width > MaxColumns) {
    *err = "the result would have " + std::to_string(width) + " columns, more than " +
           std::to_string(MaxColumns);
    return false;
  }
  if (rows > MaxRows) {
    *err = "the result would have more than " + std::to_string(MaxRows) + " rows";
    return false;
  }
  return true;
}

}  // namespace tjoin
