#include "store/relation.h"

#include <gtest/gtest.h>

#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

// Appends word to the run's text and returns it as a cell.
Cell put(std::string_view word) {
  Cell cell = static_cast<Cell>(store.text.size());
  store.text.append(word).append(" ");
  return cell;
}

// Fills relation with columns "c0".."c<m-1>" of type "t" and cells "v<c>.<r>".
void fill(Relation& relation, std::string_view name, int columns, int rows) {
  static const char* ColumnNames[] = {"c0", "c1", "c2", "c3", "c4", "c5"};
  relation.name = name;
  relation.columnCount = columns;
  relation.rowCount = rows;
  for (int c = 0; c < columns; ++c) {
    relation.columns[c] = Column{ColumnNames[c], "t", c + 1};
    for (int r = 0; r < rows; ++r) {
      cellAt(relation, c, r) = put(std::string(name) + std::to_string(c) + "." + std::to_string(r));
    }
  }
}

TEST(Store, StartsEmpty) {
  resetStore();
  EXPECT_EQ(1, store.tableCount);
  EXPECT_EQ(0, store.pairCount);
  for (const Relation* relation : {&store.tables[0], &store.tables[9], &store.result}) {
    EXPECT_EQ("", relation->name);
    EXPECT_EQ(0, relation->columnCount);
    EXPECT_EQ(0, relation->rowCount);
    EXPECT_EQ("", cellText(cellAt(*relation, 49, 9999)));
  }
}

TEST(Store, ResetEmptiesWhatARunLeft) {
  ASSERT_EQ("", load("join(A,B)\n\nA(x int)\n1\n\nB(y int)\n2\n"));
  resetStore();
  EXPECT_EQ(1, store.tableCount);
  EXPECT_EQ("", store.tables[1].name);
  EXPECT_EQ(0, store.tables[0].columnCount);
  EXPECT_EQ(EmptyCell, cellAt(store.tables[0], 0, 0));
  EXPECT_EQ("\n", store.text);
}

TEST(Store, CellLengthIsWhatAByteByByteScanFinds) {
  // Every byte value, and an end byte every 37 bytes, so that cells of every
  // length up to 36 start at every offset of a sixteen-byte block, with more
  // than sixteen bytes after the end and before the end of the text.
  std::string body;
  for (int i = 0; i < 512; ++i) {
    const char ends[] = {',', ' ', '\t', '\n', '\v', '\f', '\r'};
    body += i % 37 == 36 ? ends[(i / 37) % 7] : static_cast<char>((i * 7) % 256);
  }
  resetStore();
  store.text = "\n" + body + "\n";
  for (std::size_t at = 0; at < store.text.size(); ++at) {
    const char* begin = store.text.data() + at;
    std::size_t length = 0;
    while (!endsCell(begin[length])) ++length;
    ASSERT_EQ(length, cellLength(begin)) << "at " << at;
  }
}

TEST(Store, CellsAreHeldColumnByColumn) {
  resetStore();
  Relation relation;
  cellAt(relation, 3, MaxRows - 1) = put("last");
  cellAt(relation, 4, 0) = put("first");
  EXPECT_EQ("last", cellText(cellAt(relation, 3, MaxRows - 1)));
  EXPECT_EQ("first", cellText(cellAt(relation, 4, 0)));
}

TEST(CopyRelation, ReplacesContentAndKeepsLeftoversBeyondIt) {
  resetStore();
  Relation source, destination;
  fill(destination, "D", 5, 4);
  for (Column& column : destination.columns) column = Column{"old", "u", 9};
  fill(source, "S", 3, 2);
  copyRelation(source, destination);
  EXPECT_EQ("S(c0 t, c1 t, c2 t)", showColumns(destination));
  EXPECT_EQ("S0.0,S1.0,S2.0|S0.1,S1.1,S2.1", showRows(destination));
  EXPECT_EQ(3, destination.columns[2].aux);
  // Beyond the new counts the earlier texts stay; they are not content.
  EXPECT_EQ("old", destination.columns[3].name);
  EXPECT_EQ("D4.3", cellText(cellAt(destination, 4, 3)));
  EXPECT_EQ("D0.2", cellText(cellAt(destination, 0, 2)));
}

TEST(CopyRelation, CopiesColumnsWithoutRowsAndCountsWithoutColumns) {
  resetStore();
  Relation noRows, noColumns, destination;
  fill(destination, "D", 2, 2);
  fill(noRows, "N", 2, 0);
  copyRelation(noRows, destination);
  EXPECT_EQ("N(c0 t, c1 t)", showColumns(destination));
  EXPECT_EQ(0, destination.rowCount);
  EXPECT_EQ("D0.0", cellText(cellAt(destination, 0, 0)));

  noColumns.name = "E";
  noColumns.rowCount = 3;
  copyRelation(noColumns, destination);
  EXPECT_EQ("E()", showColumns(destination));
  EXPECT_EQ(3, destination.rowCount);
}

TEST(CopyRelation, SharesNothingWithItsSource) {
  resetStore();
  Relation source, destination;
  fill(source, "S", 2, 2);
  copyRelation(source, destination);
  cellAt(source, 1, 1) = put("changed");
  source.columns[0].name = "renamed";
  EXPECT_EQ("S1.1", cellText(cellAt(destination, 1, 1)));
  EXPECT_EQ("c0", destination.columns[0].name);
}

TEST(CopyRelation, OntoItselfChangesNothing) {
  resetStore();
  Relation relation;
  fill(relation, "R", 2, 2);
  copyRelation(relation, relation);
  EXPECT_EQ("R0.0,R1.0|R0.1,R1.1", showRows(relation));
}

}  // namespace
}  // namespace tjoin
