#include "ops/matching.h"

#include "platform/line_output.h"
#include "store/store.h"

namespace tjoin {

bool findCommonColumns(const Relation& left, const Relation& right, std::string* err) {
  int pairs = 0;
  for (int i = 0; i < left.columnCount; ++i) {
    for (int j = 0; j < right.columnCount; ++j) {
      const Column& a = left.columns[i];
      const Column& b = right.columns[j];
      if (a.name != b.name || a.type != b.type) continue;
      if (pairs < MaxColumns) {
        store.leftIndex[pairs] = i;
        store.rightIndex[pairs] = j;
      }
      ++pairs;
    }
  }
  if (pairs > MaxColumns) {
    *err = std::to_string(pairs) + " column pairs, more than " + std::to_string(MaxColumns);
    return false;
  }
  store.pairCount = pairs;
  if (pairs == 0) print("Kozos oszlop: Nincs\n");
  return true;
}

}  // namespace tjoin
