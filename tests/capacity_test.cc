// The capacities at their bounds: a fold step whose result has exactly
// MaxRows rows or MaxColumns columns passes, one more is refused, for a join
// and for a direct product, in the first step and in a later one.

#include <gtest/gtest.h>

#include <string>

#include "driver/run.h"
#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

// Reads input and folds its tables; returns "" or the error.
std::string fold(const std::string& input) {
  std::string err = load(input);
  if (!err.empty()) return err;
  bool ok = false;
  printedBy([&] { ok = foldTables(&err); });
  return ok ? "" : err;
}

TEST(Capacity, FoldStepsAtTheBounds) {
  const std::string rows = "the result would have more than 10000 rows";
  // Joined on k: 3 left rows meet 3333 right ones, and the j row meets 1 or 2.
  auto join = [](int jRows) {
    return "join(A,B)\n\nA(k t, a t)\nk,1\nk,2\nk,3\nj,4\n\nB(k t)\n" + repeatedLines(3333, "k") +
           repeatedLines(jRows, "j");
  };
  auto product = [](int left, int right) {
    return "join(A,B)\n\nA(a t)\n" + repeatedLines(left, "a", true) + "\nB(b t)\n" +
           repeatedLines(right, "b", true);
  };
  // A later step: A and B join one to one on k, then C shares no column.
  auto laterProduct = [](int right) {
    return "join(A,B,C)\n\nA(k t)\n" + repeatedLines(73, "k", true) + "\nB(k t)\n" +
           repeatedLines(73, "k", true) + "\nC(c t)\n" + repeatedLines(right, "c", true);
  };
  // Joined on p0: A's 26 columns and B's others, 24 or 25.
  auto wideJoin = [](int others) {
    return "join(A,B)\n\n" + wideHeader("A", 26, "p") + "\nB(p0 t, " +
           wideHeader("", others, "q").substr(1);
  };
  auto wideLaterProduct = [](int right) {
    return "join(A,B,C)\n\n" + wideHeader("A", 25, "p") + "\n" + wideHeader("B", 1, "p") + "\n" +
           wideHeader("C", right, "q");
  };
  struct Case {
    std::string input, error;
  } cases[] = {
      {join(1), ""},
      {join(2), "fold step 1 ('A' with 'B'): " + rows},
      {product(100, 100), ""},
      {product(73, 137), "fold step 1 ('A' with 'B'): " + rows},
      {laterProduct(136), ""},
      {laterProduct(137), "fold step 2 (the result with 'C'): " + rows},
      {wideJoin(24), ""},
      {wideJoin(25), "fold step 1 ('A' with 'B'): the result would have 51 columns, more than 50"},
      {wideLaterProduct(25), ""},
      {wideLaterProduct(26),
       "fold step 2 (the result with 'C'): the result would have 51 columns, more than 50"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.error, fold(c.input)) << c.input.substr(0, 200);
    if (c.error.empty()) {
      EXPECT_TRUE(store.result.rowCount == MaxRows || store.result.columnCount == MaxColumns ||
                  store.result.rowCount == 73 * 136);
    }
  }
}

TEST(Capacity, ValuesBeyondFiftyColumnsAreDropped) {
  // Every row of a full table holds 52 values; the last two go nowhere, so
  // column 49 of the last row holds its own value and nothing lies beyond.
  std::string row;
  for (int c = 0; c < MaxColumns + 2; ++c) {
    if (c > 0) row += ',';
    row += std::to_string(c);
  }
  ASSERT_EQ("",
            load("join(A)\n\n" + wideHeader("A", MaxColumns, "c") + repeatedLines(MaxRows, row)));
  const Relation& table = store.tables[0];
  ASSERT_EQ(MaxColumns, table.columnCount);
  ASSERT_EQ(MaxRows, table.rowCount);
  EXPECT_EQ("49", cellText(cellAt(table, MaxColumns - 1, MaxRows - 1)));
  EXPECT_EQ("0", cellText(cellAt(table, 0, MaxRows - 1)));
}

}  // namespace
}  // namespace tjoin
