#include "ops/matching.h"

#include <gtest/gtest.h>

#include <string>

#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

// Matches tables 0 and 1 of input; returns the pairs as "(l,r)..." and the
// console output.
std::string match(const std::string& input, std::string* console = nullptr) {
  std::string err = load(input);
  if (!err.empty()) return err;
  bool ok = false;
  std::string printed =
      printedBy([&] { ok = findCommonColumns(store.tables[0], store.tables[1], &err); });
  if (console) *console = printed;
  if (!ok) return err;
  std::string pairs;
  for (int k = 0; k < store.pairCount; ++k) {
    pairs.append("(").append(std::to_string(store.leftIndex[k])).append(",");
    pairs.append(std::to_string(store.rightIndex[k])).append(")");
  }
  return pairs;
}

TEST(Matching, PairsInLeftThenRightOrder) {
  std::string console;
  EXPECT_EQ("(0,1)(2,0)", match("join(L,R)\n\nL(a t, b t, c t)\n\nR(c t, a t)\n", &console));
  EXPECT_EQ("", console);
}

TEST(Matching, NameAndTypeMustBothBeEqualBytes) {
  std::string console;
  EXPECT_EQ("", match("join(L,R)\n\nL(a int, b int)\n\nR(a Int, B int)\n", &console));
  EXPECT_EQ("Kozos oszlop: Nincs\n", console);
  EXPECT_EQ(0, store.pairCount);
}

TEST(Matching, RepeatedColumnsPairEveryCombination) {
  EXPECT_EQ("(0,0)(0,2)", match("join(L,R)\n\nL(a t)\n\nR(a t, b t, a t)\n"));
  EXPECT_EQ("(0,1)(1,1)", match("join(L,R)\n\nL(a t, a t)\n\nR(b t, a t)\n"));
}

TEST(Matching, RelationWithoutColumnsHasNoPair) {
  ASSERT_EQ("", load("join(L)\n\nL(a t)\n"));
  std::string err;
  bool ok = false;
  EXPECT_EQ("Kozos oszlop: Nincs\n",
            printedBy([&] { ok = findCommonColumns(store.tables[0], store.result, &err); }));
  EXPECT_TRUE(ok);
}

TEST(Matching, RefusesMoreThanFiftyPairs) {
  std::string eight = "a t, a t, a t, a t, a t, a t, a t, a t";
  EXPECT_EQ("64 column pairs, more than 50",
            match("join(L,R)\n\nL(" + eight + ")\n\nR(" + eight + ")\n"));
  std::string seven = "a t, a t, a t, a t, a t, a t, a t";
  EXPECT_EQ(49u, match("join(L,R)\n\nL(" + seven + ")\n\nR(" + seven + ")\n").size() / 5);
}

}  // namespace
}  // namespace tjoin
