#include "input/reader.h"

#include <gtest/gtest.h>

#include <string>

#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

const Relation& table(int i) { return store.tables[i]; }

std::string rowsOf(int rows, const std::string& row) {
  std::string text;
  for (int r = 0; r < rows; ++r) text += row + "\n";
  return text;
}

TEST(Reader, ReadsTheExample) {
  ASSERT_EQ("", load("join(Item,Grp)\n\nItem(id int, label text, grp int)\n1,bolt,10\n2,nut,20\n"
                     "3,gear,\n\nGrp(grp int, gname text)\n10,small\n20,large,extra\n"));
  EXPECT_EQ(2, store.tableCount);
  EXPECT_EQ("Item(id int, label text, grp int)", showColumns(table(0)));
  EXPECT_EQ("1,bolt,10|2,nut,20|3,gear,", showRows(table(0)));
  EXPECT_EQ("Grp(grp int, gname text)", showColumns(table(1)));
  EXPECT_EQ("10,small|20,large", showRows(table(1)));
}

TEST(Reader, WhiteSpaceSeparatesRows) {
  ASSERT_EQ("", load("join(A)\n\nA(x int, y int)\n1,2\n\n\n3,4\t5,6 7,8\r\n"));
  EXPECT_EQ("1,2|3,4|5,6|7,8", showRows(table(0)));
  // A value holding a blank splits its row in two.
  ASSERT_EQ("", load("join(A)\n\nA(x int, city text)\n1,New York\n"));
  EXPECT_EQ("1,New|York,", showRows(table(0)));
}

TEST(Reader, EmptyMissingAndExtraValues) {
  ASSERT_EQ("", load("join(A)\n\nA(a t, b t, c t)\n,,\n1,,3\n1,2\n4,5,6,7\n8\n"));
  EXPECT_EQ(",,|1,,3|1,2,|4,5,6|8,,", showRows(table(0)));
}

TEST(Reader, CarriageReturnsAreWhiteSpace) {
  ASSERT_EQ("", load("join(A,B)\r\n\r\nA(x int, y int)\r\n1,2\r\n\r\nB(y int)\r\n2\r\n"));
  EXPECT_EQ("A(x int, y int)", showColumns(table(0)));
  EXPECT_EQ("1,2", showRows(table(0)));
  EXPECT_EQ("B(y int)", showColumns(table(1)));
  EXPECT_EQ("2", showRows(table(1)));
}

TEST(Reader, HeaderNamesAreIgnored) {
  ASSERT_EQ("", load("join(P,Q)\n\nFoo(x int)\n1\n\nBar(x int)\n2\n"));
  EXPECT_EQ("P(x int)", showColumns(table(0)));
  EXPECT_EQ("1", showRows(table(0)));
  EXPECT_EQ("Q(x int)", showColumns(table(1)));
  EXPECT_EQ("2", showRows(table(1)));
}

TEST(Reader, HeaderIsTheSecondLineAfterTheLastWord) {
  // Without the blank line, the line after the last row is the one skipped:
  // here Bar's header, so the row after it is read as Q's header.
  ASSERT_EQ("", load("join(P,Q)\n\nFoo(x int)\n1\nBar(x int)\n2\n"));
  EXPECT_EQ("1", showRows(table(0)));
  EXPECT_EQ("Q(2 )", showColumns(table(1)));
  EXPECT_EQ(0, table(1).rowCount);
}

TEST(Reader, TableWithoutRows) {
  ASSERT_EQ("", load("join(A,B)\n\nA(x int)\n\nB(y text)\nv\n"));
  EXPECT_EQ("A(x int)", showColumns(table(0)));
  EXPECT_EQ(0, table(0).rowCount);
  EXPECT_EQ("B(y text)", showColumns(table(1)));
  EXPECT_EQ("v", showRows(table(1)));
}

TEST(Reader, WordAfterTheHeaderIsTheFirstRow) {
  ASSERT_EQ("", load("join(A)\n\nA(x int) 0\n1\n"));
  EXPECT_EQ("0|1", showRows(table(0)));
}

TEST(Reader, EndOfFile) {
  // A last row without white space after it is not stored; one line feed is enough.
  ASSERT_EQ("", load("join(A)\n\nA(x int)\n1\n2"));
  EXPECT_EQ("1", showRows(table(0)));
  ASSERT_EQ("", load("join(A)\n\nA(x int)\n1\n2\n"));
  EXPECT_EQ("1|2", showRows(table(0)));
  // A last header line without a line feed gives a table without rows.
  ASSERT_EQ("", load("join(A)\n\nA(x int)"));
  EXPECT_EQ("A(x int)", showColumns(table(0)));
  EXPECT_EQ(0, table(0).rowCount);
}

TEST(Reader, MissingBlocksLeaveTablesWithoutColumns) {
  ASSERT_EQ("", load("join(A,B,C)\n\nA(x int)\n1\n"));
  EXPECT_EQ(3, store.tableCount);
  EXPECT_EQ("1", showRows(table(0)));
  EXPECT_EQ("B", table(1).name);
  EXPECT_EQ(0, table(1).columnCount);
  EXPECT_EQ("C", table(2).name);
  ASSERT_EQ("", load("join(A)\n\n\n\n"));
  EXPECT_EQ(0, table(0).columnCount);
}

TEST(Reader, FewerNamesThanBlocks) {
  ASSERT_EQ("", load("join(A)\n\nA(x int)\n1\n\nB(y int)\n2\n"));
  EXPECT_EQ(1, store.tableCount);
  EXPECT_EQ(0, table(1).columnCount);
}

TEST(Reader, HeadingWord) {
  // Any five bytes are dropped; without ")" the last name runs to the word's end.
  ASSERT_EQ("", load("JOIN[A,B\n\nA(x int)\n\nB(x int)\n"));
  EXPECT_EQ("A", table(0).name);
  EXPECT_EQ("B", table(1).name);
  // White space ends the heading word; the rest of its line is skipped.
  ASSERT_EQ("", load("  \n join(A, B)\n\nA(x int)\n\nB(x int)\n"));
  EXPECT_EQ(2, store.tableCount);
  EXPECT_EQ("A", table(0).name);
  EXPECT_EQ("", table(1).name);
  EXPECT_EQ("A(x int)", showColumns(table(0)));
  // Whatever follows ")" in the word is ignored.
  ASSERT_EQ("", load("join(A)tail\n\nA(x int)\n"));
  EXPECT_EQ("A", table(0).name);
}

TEST(Reader, TypesLoseOnlyTheirFirstSeparator) {
  ASSERT_EQ("", load("join(A)\n\nA(a i)nt), b x)\n"));
  // "i)nt)," loses its ","; the last type "x)" its ")", wherever they stand.
  EXPECT_EQ("A(a i)nt), b x)", showColumns(table(0)));
  ASSERT_EQ("", load("join(A)\n\nA(a i)nt)\n"));
  EXPECT_EQ("A(a int))", showColumns(table(0)));
}

TEST(Reader, TenThousandRowsAreReadWhole) {
  std::string input = "join(A,B)\n\nA(x int)\n" + rowsOf(MaxRows, "1") + "\nB(y int)\n2\n";
  ASSERT_EQ("", load(input));
  EXPECT_EQ(MaxRows, table(0).rowCount);
  EXPECT_EQ("B(y int)", showColumns(table(1)));
  EXPECT_EQ("2", showRows(table(1)));
}

TEST(Reader, RefusesInputBeyondTheCapacities) {
  EXPECT_EQ("table 'A' has more than 10000 rows",
            load("join(A)\n\nA(x int)\n" + rowsOf(MaxRows + 1, "1")));
  // A last word at the very end of the file would not be stored anyway.
  EXPECT_EQ("", load("join(A)\n\nA(x int)\n" + rowsOf(MaxRows, "1") + "2"));

  std::string wide = "join(A)\n\nA(c0 t";
  for (int c = 1; c <= MaxColumns; ++c) wide += ", c" + std::to_string(c) + " t";
  EXPECT_EQ("table 'A' has 51 columns, more than 50", load(wide + ")\n"));
  EXPECT_EQ("the heading names 11 tables, more than 10", load("join(a,b,c,d,e,f,g,h,i,j,k)\n"));
}

TEST(Reader, RefusesAFileWithoutWords) {
  EXPECT_EQ("the file is empty or holds only white space", load(""));
  EXPECT_EQ("the file is empty or holds only white space", load(" \n\t\r\n"));
}

TEST(Reader, BytesAreKeptAsTheyAre) {
  const char bytes[] = "join(A)\n\nA(x t, y t)\n\xff\x01,a\0b\n";
  std::string input(bytes, sizeof bytes - 1);
  ASSERT_EQ("", load(input));
  EXPECT_EQ(std::string("\xff\x01,a\0b", 6), showRows(table(0)));
}

TEST(ReaderFile, ReportsFilesItCannotRead) {
  resetStore();
  std::string err;
  EXPECT_FALSE(readInputFile("/nonexistent/in.txt", &err));
  EXPECT_EQ("cannot read '/nonexistent/in.txt': No such file or directory", err);
  EXPECT_FALSE(readInputFile("/", &err));
  EXPECT_EQ("cannot read '/': Is a directory", err);
}

}  // namespace
}  // namespace tjoin
