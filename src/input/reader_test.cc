#include "input/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/input_file.h"
#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

const Relation& table(int i) { return store.tables[i]; }

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
  // A last row is stored with or without a line feed after it.
  ASSERT_EQ("", load("join(A)\n\nA(x int, y int)\n1\n2,3"));
  EXPECT_EQ("1,|2,3", showRows(table(0)));
  ASSERT_EQ("", load("join(A)\n\nA(x int)\n1\n2\n"));
  EXPECT_EQ("1|2", showRows(table(0)));
  // A last header line without a line feed gives a table without rows.
  ASSERT_EQ("", load("join(A)\n\nA(x int)"));
  EXPECT_EQ("A(x int)", showColumns(table(0)));
  EXPECT_EQ(0, table(0).rowCount);
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
  ASSERT_EQ("", load("  \n join(A ,B)\n\nA(x int)\n"));
  EXPECT_EQ(1, store.tableCount);
  EXPECT_EQ("A(x int)", showColumns(table(0)));
  // Whatever follows ")" in the word is ignored.
  ASSERT_EQ("", load("join(A)tail\n\nA(x int)\n"));
  EXPECT_EQ("A", table(0).name);
  // A UTF-8 byte order mark in front of the heading is no part of it.
  ASSERT_EQ("", load("\xEF\xBB\xBFjoin(A,B)\n\nA(x int)\n\nB(x int)\n"));
  EXPECT_EQ("A", table(0).name);
  EXPECT_EQ("B", table(1).name);
}

TEST(Reader, HeaderLineLayout) {
  // Blanks before the header, any white space between a name and its type.
  ASSERT_EQ("", load("join(A,B)\n\n \tA(x \t int,\ty\vt)\r\n1,2\n\n(z t)\n"));
  EXPECT_EQ("A(x int, y t)", showColumns(table(0)));
  EXPECT_EQ("B(z t)", showColumns(table(1)));
}

TEST(Reader, RefusesTextOutsideTheFormat) {
  const std::string form = "a header line reads Name(name type, name type, ...); found ";
  const std::string heading =
      "; the file must begin with the heading join(T1,T2,...), an empty line, then the tables";
  const std::string wide = "A(" + std::string(70, 'x') + ",t)";
  const std::string sixty = "g(" + std::string(58, 'x');
  const std::string skipped = " (line 2, after the heading, is skipped whatever it holds)";
  const std::string empty = "the heading names an empty table: write ";
  struct Case {
    std::string input, error;
  } cases[] = {
      // Header lines that are not Name(name type, name type, ...).
      {"join(A)\n\nA(x int,y int)\n1,2\n", "line 3: table 'A': " + form + "'A(x int,y int)'"},
      {"join(A)\n\nA(x int , y int)\n", "line 3: table 'A': " + form + "'A(x int , y int)'"},
      {"join(A)\n\nA x int)\n", "line 3: table 'A': " + form + "'A x int)'"},
      {"join(A)\n\nA(x int\n1\n", "line 3: table 'A': " + form + "'A(x int'"},
      {"join(A)\n\nA(x, y int)\n", "line 3: table 'A': " + form + "'A(x, y int)'"},
      {"join(A)\n\nA()\n", "line 3: table 'A': " + form + "'A()'"},
      {"join(A)\n\nA( x int)\n", "line 3: table 'A': " + form + "'A( x int)'"},
      {"join(A)\n\nA(x i)nt)\n", "line 3: table 'A': " + form + "'A(x i)nt)'"},
      {"join(A)\n\nA(x int)y\n", "line 3: table 'A': " + form + "'A(x int)y'"},
      {"join(A)\n\nA(x int) 1,2\n", "line 3: table 'A': " + form + "'A(x int) 1,2'"},
      {"join(A)\n\n" + wide + "\n",
       "line 3: table 'A': " + form + "'" + wide.substr(0, 60) + "...'"},
      {"join(A)\n\nA(x\tint,\x01y t)\n", "line 3: table 'A': " + form + "'A(x\\tint,\\x01y t)'"},
      {"join(A)\nA(x int)\n1\n", "line 3: table 'A': " + form + "'1'" + skipped},
      {"join(A)\n\nA(x t)\n1\n\nB(y t,z)\n",
       "line 6: the block after the last named table: " + form + "'B(y t,z)'"},
      // Header lines without exactly one empty line in front.
      {"join(A,B)\n\nA(x t)\n1\nB(y t)\n2\n",
       "line 5: table 'B': its header line must follow the last row of table 'A' after exactly one "
       "empty line; found 'B(y t)'"},
      {"join(A,B)\n\nA(x t)\n\n\nB(y t)\n",
       "line 6: table 'B': its header line must follow the header line of table 'A' after exactly "
       "one empty line; found 'B(y t)'"},
      {"join(A)\n\nA(x t)\n1 B(y t)\n",
       "line 4: the block after the last named table: its header line must follow the last row of "
       "table 'A' after exactly one empty line; found '1 B(y t)'"},
      {"join(A)\n\n\nA(x t)\n",
       "line 3: table 'A': its header line must be the second line after the heading; found an "
       "empty line"},
      // Values holding "(".
      {"join(A,B)\n\nA(x t)\n1\n\nB(y t)\n1\n2,g(x)\n3\n",
       "line 8: table 'B': a value may not hold \"(\": '2,g(x)'"},
      // The whole line is quoted, up to 60 bytes.
      {"join(A)\n\nA(x t)\n1\tg(\x01)\n",
       "line 4: table 'A': a value may not hold \"(\": '1\\tg(\\x01)'"},
      {"join(A)\n\nA(x t)\n" + sixty + "\n",
       "line 4: table 'A': a value may not hold \"(\": '" + sixty + "'"},
      {"join(A)\n\nA(x t)\n" + sixty + "y\n",
       "line 4: table 'A': a value may not hold \"(\": '" + sixty + "...'"},
      // The file ends where a header line should be.
      {"join(A,B,C)\n\nA(x t)\n1",
       "line 6: table 'B' has no table block: the file ends where "
       "its header line should be"},
      {"join(A)\n\n\n\n",
       "line 3: table 'A' has no table block: the file ends where its header line should be"},
      {"\njoin(A,B) x\n\tA(x t)\n1\n\nB(y t)\n",
       "line 4: table 'A': " + form + "'1'" +
           " (line 3, after the heading, is skipped whatever it "
           "holds)"},
      {"join(A,B)\nA(x t)\n",
       "line 3: table 'A' has no table block: the file ends where its "
       "header line should be" +
           skipped},
      // Headings that name a table without a name, or one holding "(" or ")".
      {"\xEF\xBB\xBF join(A, B)\n\nA(x t)\n", "line 1: " + empty + "join(A,B) with no blank"},
      {"\n\njoin(A,\tB, C) x\n", "line 3: " + empty + "join(A,B,C) with no blank"},
      {"join(A,,B)\n", "line 1: " + empty + "join(A,B) with no empty name"},
      {"join(,A)\n", "line 1: " + empty + "join(A) with no empty name"},
      {"join(A,)\n", "line 1: " + empty + "join(A) with no empty name"},
      {"join()\n", "line 1: " + empty + "join(T1,T2,...) naming the tables"},
      {"join(A(x),B)\n",
       "line 1: the heading names the table 'A(x)', which holds \"(\": write join(T1,T2,...) with "
       "names free of \"(\""},
      {"join(A),B)\n",
       "line 1: the heading names the table 'A)', which holds \")\": write join(T1,T2,...) with "
       "names free of \")\""},
      // Not tjoin's layout at all.
      {"a,b,c\n1,2,3\n4,5,6\n", "line 1: the heading names an empty table" + heading},
      // A last row without a line end counts like any other.
      {"join(A)\n\nA(x int)\n" + repeatedLines(MaxRows, "1") + "2",
       "line 10004: table 'A' has more than 10000 rows"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error, load(c.input)) << c.input;
}

TEST(Reader, RowsReadSixteenBytesAtATimeAsByteByByte) {
  // Words of 1 to 40 bytes with "," at varying places, each starting at every
  // offset of a sixteen-byte block (the blanks before it shift it), the last
  // ones within sixteen bytes of the text's end, where bytes are read one by
  // one. Expected: the word split at its ","s, as a byte-by-byte scan splits it.
  std::vector<std::string> words;
  for (int length = 1; length <= 40; ++length) {
    std::string word;
    for (int i = 0; i < length; ++i) word += i % (length % 5 + 2) == 1 ? ',' : char('a' + i % 26);
    words.push_back(word);
  }
  for (int shift = 0; shift < 16; ++shift) {
    std::string input = "join(A)\n\nA(a t, b t, c t)\n", expected;
    for (const std::string& word : words) {
      input += std::string(shift, ' ') + word + "\n";
      std::vector<std::string> values(3);
      std::size_t at = 0;
      for (int v = 0; v < 3 && at != std::string::npos; ++v) {
        std::size_t comma = word.find(',', at);
        values[v] = word.substr(at, comma == std::string::npos ? comma : comma - at);
        at = comma == std::string::npos ? comma : comma + 1;
      }
      expected += (expected.empty() ? "" : "|") + values[0] + "," + values[1] + "," + values[2];
    }
    input.pop_back();  // the last row ends the file
    SCOPED_TRACE(shift);
    ASSERT_EQ("", load(input));
    EXPECT_EQ(expected, showRows(table(0)));
    // A "(" past the first sixteen bytes of a word.
    EXPECT_EQ(
        "line 5: table 'A': a value may not hold \"(\": '1," + std::string(shift + 20, 'x') + "(y'",
        load("join(A)\n\nA(a t)\n1\n1," + std::string(shift + 20, 'x') + "(y\n2\n"));
  }
}

TEST(Reader, TenThousandRowsAreReadWhole) {
  std::string input = "join(A,B)\n\nA(x int)\n" + repeatedLines(MaxRows, "1") + "\nB(y int)\n2\n";
  ASSERT_EQ("", load(input));
  EXPECT_EQ(MaxRows, table(0).rowCount);
  EXPECT_EQ("B(y int)", showColumns(table(1)));
  EXPECT_EQ("2", showRows(table(1)));
}

TEST(Reader, RefusesInputBeyondTheCapacities) {
  // Each names its line: the first row too many, the header line, the heading.
  EXPECT_EQ("line 10005: table 'A' has more than 10000 rows",
            load("join(A)\n\nA(x int)\n" + repeatedLines(MaxRows, "1") + "\n1\n"));
  EXPECT_EQ("line 5: table 'B' has 51 columns, more than 50",
            load("join(A,B)\n\nA(x t)\n\n" + wideHeader("B", MaxColumns + 1, "c")));
  EXPECT_EQ("line 2: the heading names 11 tables, more than 10",
            load("\njoin(a,b,c,d,e,f,g,h,i,j,k)\n"));
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
#ifndef _WIN32  // Windows names no directory as such
  EXPECT_FALSE(readInputFile("/", &err));
  EXPECT_EQ("cannot read '/': Is a directory", err);
#endif
}

}  // namespace
}  // namespace tjoin
