#include "ops/compose.h"

#include "store/store.h"

namespace tjoin {

void composeResult(const Relation& left, const Relation& right,
                   const std::array<bool, MaxColumns>& keepRight,
                   const std::vector<RowPair>& rows) {
  // Every Column and cell within the counts set below is written here, so
  // what an earlier step left in the scratch is never read.
  Relation& scratch = store.scratch;
  scratch.name = "result";
  int rowCount = static_cast<int>(rows.size());
  int p = 0;
  for (int c = 0; c < left.columnCount; ++c, ++p) {
    scratch.columns[p] = Column{left.columns[c].name, left.columns[c].type};
    for (int r = 0; r < rowCount; ++r) cellAt(scratch, p, r) = cellAt(left, c, rows[r].left);
  }
  for (int c = 0; c < right.columnCount; ++c) {
    if (!keepRight[c]) continue;
    scratch.columns[p] = Column{right.columns[c].name, right.columns[c].type};
    for (int r = 0; r < rowCount; ++r) cellAt(scratch, p, r) = cellAt(right, c, rows[r].right);
    ++p;
  }
  // The joined shape stands even without rows, so the next step can match on it.
  scratch.columnCount = p;
  scratch.rowCount = rowCount;
  copyRelation(scratch, store.result);
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
