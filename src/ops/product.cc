#include "ops/product.h"

#include <array>
#include <cstdint>
#include <vector>

#include "ops/compose.h"

namespace tjoin {

bool directProduct(const Relation& left, const Relation& right, std::string* err) {
  std::int64_t rowCount = std::int64_t{left.rowCount} * right.rowCount;
  if (!checkShape(left.columnCount + right.columnCount, rowCount, err)) return false;
  std::vector<RowPair> rows;
  rows.reserve(static_cast<std::size_t>(rowCount));
  for (int i = 0; i < left.rowCount; ++i) {
    for (int j = 0; j < right.rowCount; ++j) rows.push_back({i, j});
  }
  std::array<bool, MaxColumns> keepAll;
  keepAll.fill(true);
  composeResult(left, right, keepAll, rows);
  return true;
}

}  // namespace tjoin
