#include "ops/join.h"

#include <gtest/gtest.h>

#include <string>

#include "ops/matching.h"
#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

// Loads input, then matches and joins its tables 0 and 1 into store.result.
// Returns "" or the error.
std::string join(const std::string& input) {
  std::string err = load(input);
  if (!err.empty()) return err;
  bool ok = false;
  printedBy([&] {
    ok = findCommonColumns(store.tables[0], store.tables[1], &err) &&
         naturalJoin(store.tables[0], store.tables[1], &err);
  });
  return ok ? "" : err;
}

TEST(NaturalJoin, WorkedExample) {
  ASSERT_EQ("",
            join("join(L,R)\n\nL(a int, b text)\n1,x\n2,y\n\nR(a int, c text)\n1,p\n1,q\n3,r\n"));
  EXPECT_EQ("result(a int, b text, c text)", showColumns(store.result));
  EXPECT_EQ("1,x,p|1,x,q", showRows(store.result));
}

TEST(NaturalJoin, RowsFollowLeftOrderThenRightOrder) {
  ASSERT_EQ("", join("join(L,R)\n\nL(k t, l t)\nb,1\na,2\nb,3\n\nR(k t, r t)\n"
                     "a,x\nb,y\na,z\nb,w\n"));
  EXPECT_EQ("b,1,y|b,1,w|a,2,x|a,2,z|b,3,y|b,3,w", showRows(store.result));
}

TEST(NaturalJoin, CellsMatchOnlyWhenTheirBytesAreEqual) {
  ASSERT_EQ("", join("join(L,R)\n\nL(k t)\n1\na\n\nR(k t)\n01\nA\n1\n,\n"));
  EXPECT_EQ("1", showRows(store.result));
  // Empty cells are equal texts too.
  ASSERT_EQ("", join("join(L,R)\n\nL(k t, v t)\n,1\n\nR(k t, w t)\n,2\nx,3\n"));
  EXPECT_EQ(",1,2", showRows(store.result));
  // Equal however each cell ends; a prefix is not equal.
  ASSERT_EQ("", join("join(L,R)\n\nL(k t, v t)\nab,1\na,2\n\nR(k t)\na\nab\n"));
  EXPECT_EQ("ab,1|a,2", showRows(store.result));
  // Cells with the same join hash (4938 and 164226; 2533093 and its prefix
  // of 2533093jd): the bytes still decide.
  ASSERT_EQ("", join("join(L,R)\n\nL(k t)\n4938\n2533093\n\nR(k t)\n164226\n2533093jd\n"
                     "4938\n2533093\n"));
  EXPECT_EQ("4938|2533093", showRows(store.result));
}

TEST(NaturalJoin, JoinsOnEveryPair) {
  ASSERT_EQ("",
            join("join(L,R)\n\nL(a t, b t, v t)\n1,1,p\n1,2,q\n\nR(b t, a t)\n1,1\n2,1\n2,2\n"));
  EXPECT_EQ("result(a t, b t, v t)", showColumns(store.result));
  EXPECT_EQ("1,1,p|1,2,q", showRows(store.result));
}

TEST(NaturalJoin, SameNameOtherTypeIsKeptTwice) {
  ASSERT_EQ("", join("join(L,R)\n\nL(k t, a int)\n1,5\n\nR(k t, a text)\n1,6\n"));
  EXPECT_EQ("result(k t, a int, a text)", showColumns(store.result));
  EXPECT_EQ("1,5,6", showRows(store.result));
}

TEST(NaturalJoin, IdenticalRowsAreNotMerged) {
  ASSERT_EQ("", join("join(L,R)\n\nL(k t)\n1\n\nR(k t, v t)\n1,a\n1,a\n"));
  EXPECT_EQ("1,a|1,a", showRows(store.result));
}

TEST(NaturalJoin, RightColumnInTwoPairsStandsOutOnce) {
  // Both left columns pair with right's a: a row matches when both equal it.
  ASSERT_EQ("", join("join(L,R)\n\nL(a t, a t, v t)\n1,1,p\n1,2,q\n\nR(w t, a t)\nx,1\ny,2\n"));
  EXPECT_EQ(2, store.pairCount);
  EXPECT_EQ("result(a t, a t, v t, w t)", showColumns(store.result));
  EXPECT_EQ("1,1,p,x", showRows(store.result));
}

TEST(NaturalJoin, RightColumnsInPairsAllStandOut) {
  // Two right columns equal to one left column: both leave the output.
  ASSERT_EQ("", join("join(L,R)\n\nL(a t)\n1\n2\n\nR(a t, b t, a t)\n1,x,1\n2,y,3\n"));
  EXPECT_EQ("result(a t, b t)", showColumns(store.result));
  EXPECT_EQ("1,x", showRows(store.result));
}

TEST(NaturalJoin, WithoutPairsIsTheProduct) {
  ASSERT_EQ("", join("join(L,R)\n\nL(a t)\n1\n2\n\nR(b t)\nx\ny\n"));
  EXPECT_EQ("result(a t, b t)", showColumns(store.result));
  EXPECT_EQ("1,x|1,y|2,x|2,y", showRows(store.result));
}

TEST(NaturalJoin, EmptyOutputKeepsTheJoinedShape) {
  ASSERT_EQ("", join("join(L,R)\n\nL(k t, a t)\n1,x\n\nR(k t, b t)\n2,y\n"));
  EXPECT_EQ("result(k t, a t, b t)", showColumns(store.result));
  EXPECT_EQ(0, store.result.rowCount);
  ASSERT_EQ("", join("join(L,R)\n\nL(k t)\n\nR(k t, b t)\n2,y\n"));
  EXPECT_EQ("result(k t, b t)", showColumns(store.result));
}

TEST(NaturalJoin, LeftMayBeTheResultItself) {
  ASSERT_EQ("", join("join(L,R)\n\nL(k t, a t)\n1,x\n2,y\n\nR(k t)\n1\n2\n2\n"));
  ASSERT_EQ("1,x|2,y|2,y", showRows(store.result));
  std::string err;
  bool ok = false;
  printedBy([&] {
    ok = findCommonColumns(store.result, store.tables[1], &err) &&
         naturalJoin(store.result, store.tables[1], &err);
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ("1,x|2,y|2,y|2,y|2,y", showRows(store.result));
}

TEST(NaturalJoin, RefusesOutputBeyondTheCapacity) {
  // 10100 matches: 101 left rows and 100 right rows on one key value.
  std::string many = "join(L,R)\n\nL(k t, a t)\n" + repeatedLines(101, "1,", true) +
                     "\nR(k t, b t)\n" + repeatedLines(100, "1,", true);
  EXPECT_EQ("the result would have more than 10000 rows", join(many));
  EXPECT_EQ(0, store.result.columnCount);  // result untouched
  std::string exact = "join(L,R)\n\nL(k t, a t)\n" + repeatedLines(100, "1,", true) +
                      "\nR(k t, b t)\n" + repeatedLines(100, "1,", true);
  EXPECT_EQ("", join(exact));
  EXPECT_EQ(MaxRows, store.result.rowCount);

  std::string left = "k t", right = "k t";
  for (int c = 0; c < 25; ++c) left.append(", l").append(std::to_string(c)).append(" t");
  for (int c = 0; c < 26; ++c) right.append(", r").append(std::to_string(c)).append(" t");
  EXPECT_EQ("the result would have 52 columns, more than 50",
            join("join(L,R)\n\nL(" + left + ")\n\nR(" + right + ")\n"));
}

}  // namespace
}  // namespace tjoin
