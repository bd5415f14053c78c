#include "ops/product.h"

#include <cstdint>
#include <vector>

#include "ops/compose.h"

namespace tjoin {

bool directProduct(const Relation& left, const Relation& right, std::string* err) {
  int width = left.columnCount + right.columnCount;
  if (width > MaxColumns) {
    *err = tooManyColumns(width);
    return false;
  }
  std::int64_t rowCount = std::int64_t{left.rowCount} * right.rowCount;
  if (rowCount > MaxRows) {
    *err = tooManyRows();
    return false;
  }
  std::vector<RowPair> rows;
  rows.reserve(static_cast<std::size_t>(rowCount));
  for (int i = 0; i < left.rowCount; ++i) {
    for (int j = 0; j < right.rowCount; ++j) rows.push_back({i, j});
  }
  bool keepAll[MaxColumns];
  for (bool& keep : keepAll) keep = true;
  composeResult(left, right, keepAll, rows);
  return true;
}

}  // namespace tjoin
