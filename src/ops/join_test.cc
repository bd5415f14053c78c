#include "ops/join.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/run.h"
#include "ops/join_key.h"
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

// The join as a byte-by-byte reference makes it: every left row with every
// right row whose cells in every ColumnPair hold the same bytes, in left then
// right row order; all left columns, then the right ones in no ColumnPair.
std::string referenceJoin(const Relation& left, const Relation& right) {
  std::vector<bool> paired(right.columnCount, false);
  for (int k = 0; k < store.pairCount; ++k) paired[store.rightIndex[k]] = true;
  std::string shown;
  for (int i = 0; i < left.rowCount; ++i) {
    for (int j = 0; j < right.rowCount; ++j) {
      bool match = true;
      for (int k = 0; k < store.pairCount && match; ++k) {
        std::string_view a = cellText(cellAt(left, store.leftIndex[k], i));
        std::string_view b = cellText(cellAt(right, store.rightIndex[k], j));
        match = a.size() == b.size();
        for (std::size_t n = 0; n < a.size() && match; ++n) match = a[n] == b[n];
      }
      if (!match) continue;
      std::string row;
      for (int c = 0; c < left.columnCount; ++c) {
        row.append(row.empty() && c == 0 ? "" : ",").append(cellText(cellAt(left, c, i)));
      }
      for (int c = 0; c < right.columnCount; ++c) {
        if (!paired[c]) row.append(",").append(cellText(cellAt(right, c, j)));
      }
      shown += (shown.empty() ? "" : "|") + row;
    }
  }
  return shown;
}

TEST(NaturalJoin, KeysOfManyCellsMatchAsByteByByte) {
  // Keys of one to three cells of 0 to 19 bytes, so whole keys are 0 to 61
  // bytes long, on either side taken from the text as they stand (their
  // columns in ColumnPair order, one after the other) or copied cell by cell
  // (in another order), and rows whose last values are missing. Values are
  // prefixes of one another and differ in single bytes, so that keys of
  // equal length differ anywhere.
  std::vector<std::string> values;
  for (int length = 0; length < 20; ++length) {
    std::string value;
    for (int i = 0; i < length; ++i) value += static_cast<char>('a' + (i * 7 + length) % 3);
    values.push_back(value);
  }
  auto value = [&](int n) { return values[static_cast<std::size_t>(n) % values.size()]; };
  struct Case {
    std::string left, right;  // header lines
  };
  const Case cases[] = {
      {"L(k0 t, k1 t, k2 t, v t)", "R(k0 t, k1 t, k2 t, w t)"},  // both in the text
      {"L(v t, k0 t, k1 t, k2 t)", "R(w t, k0 t, k1 t, k2 t)"},  // rows may end early
      {"L(k0 t, k1 t, k2 t, v t)", "R(k2 t, w t, k0 t, k1 t)"},  // right copied
      {"L(k2 t, k0 t, v t, k1 t)", "R(k0 t, k1 t, k2 t)"},       // left copied
      {"L(k1 t, v t)", "R(w t, k1 t)"},                          // one cell
  };
  // The value of column kN (v and w count as k3) in row i: left row i and
  // right row j hold the same ones when i and j agree modulo 20, but for one
  // byte of one cell in every fifth right row. Rows are cut short at times.
  auto rows = [&](const std::string& header, bool right) {
    std::string text = header + "\n";
    for (int i = 0; i < 60; ++i) {
      const int keep = right ? (i % 11 == 4 ? 3 : 4) : (i % 7 == 3 ? 2 : 4);
      int column = 0;
      for (std::size_t at = header.find('('); column < keep && at != std::string::npos;
           at = header.find(", ", at + 1), ++column) {
        const char name = header[at + (header[at] == '(' ? 1 : 2)];
        const int k = name == 'k' ? header[at + (header[at] == '(' ? 2 : 3)] - '0' : 3;
        std::string cell = value(i % 20 + k * 3);
        if (right && i % 5 == 2 && k == i % 4 && !cell.empty()) cell[cell.size() / 2] = 'x';
        text.append(column > 0 ? "," : "").append(cell);
      }
      text += '\n';
    }
    return text;
  };
  for (const Case& c : cases) {
    const std::string input = "join(L,R)\n\n" + rows(c.left, false) + "\n" + rows(c.right, true);
    SCOPED_TRACE(c.left + " " + c.right);
    ASSERT_EQ("", load(input));
    std::string err;
    ASSERT_TRUE(findCommonColumns(store.tables[0], store.tables[1], &err));
    const std::string expected = referenceJoin(store.tables[0], store.tables[1]);
    ASSERT_TRUE(naturalJoin(store.tables[0], store.tables[1], &err));
    EXPECT_EQ(expected, showRows(store.result));
    EXPECT_LT(60, store.result.rowCount);
  }
}

TEST(NaturalJoin, KeyOfColumnsFromTwoTablesIsCopied) {
  // The result's k0 and k1 stand side by side but come from two input tables.
  std::string err;
  bool ok = false;
  ASSERT_EQ("", load("join(A,B,C)\n\nA(a t, k0 t)\n1,x\n2,y\n\nB(a t, k1 t, z t)\n1,p,q\n"
                     "2,r,s\n\nC(k0 t, k1 t, w t)\nx,p,1\nx,q,2\ny,r,3\n"));
  printedBy([&] { ok = foldTables(&err); });
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ("1,x,p,q,1|2,y,r,s,3", showRows(store.result));
}

TEST(JoinKey, HashAndComparisonReadTheBytesAlone) {
  // Keys of every length up to 48 at every offset of a sixteen-byte block,
  // between bytes that differ from copy to copy: the hash and the comparison
  // read the key's bytes, no byte beside them, wherever they lie, as a
  // byte-by-byte comparison does. And a key with one byte changed, at any
  // place, hashes otherwise and is another key.
  for (std::size_t length = 0; length <= 48; ++length) {
    std::string key;
    for (std::size_t i = 0; i < length; ++i) key += static_cast<char>('0' + (i * 5 + length) % 43);
    const std::uint32_t hash = hashKey(key);
    for (std::size_t offset = 0; offset < 16; ++offset) {
      const std::string around = std::string(offset, 'x') + key + std::string(16, 'y');
      const std::string_view copy = std::string_view(around).substr(offset, length);
      EXPECT_EQ(hash, hashKey(copy)) << length << " " << offset;
      EXPECT_TRUE(sameKey(key, copy)) << length << " " << offset;
      EXPECT_FALSE(sameKey(key, std::string_view(around).substr(offset, length + 1)));
      for (std::size_t i = 0; i < length; ++i) {
        std::string other = around;
        other[offset + i] = '~';
        const std::string_view changed = std::string_view(other).substr(offset, length);
        EXPECT_NE(hash, hashKey(changed)) << length << " " << offset << " " << i;
        EXPECT_FALSE(sameKey(key, changed)) << length << " " << offset << " " << i;
      }
    }
  }
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
