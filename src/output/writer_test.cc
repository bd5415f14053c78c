#include "output/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "driver/run.h"
#include "platform/platform.h"
#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

std::string writtenInputTables() {
  LineOutput out;
  writeInputTables(out);
  return out.text;
}

std::string written(const Relation& relation) {
  LineOutput out;
  writeRelation(out, relation);
  return out.text;
}

TEST(Writer, InputTablesInTheReadersLayout) {
  const char* input =
      "join(Item,Store)\n\nItem(ino int, color string, sno int)\n1,red,10\n2,blue,20\n3,green,10\n"
      "\nStore(sno int, city string)\n10,north\n30,south\n\n";
  ASSERT_EQ("", load(input));
  EXPECT_EQ(input, writtenInputTables());
}

TEST(Writer, TablesAreRebuiltFromTheStore) {
  // Header names, blanks and CR are not copied: the stored texts are.
  ASSERT_EQ("", load("  join(P,Q)  x\r\nskipped\nFoo(a  int,\tb t)  \r\n1,2\n\n\n3\n\n"
                     "Bar(c t)\n\n"));
  EXPECT_EQ("join(P,Q)\n\nP(a int, b t)\n1,2\n3,\n\nQ(c t)\n\n", writtenInputTables());
}

TEST(Writer, EmptyCellsAndOneColumnRows) {
  ASSERT_EQ("", load("join(A,B)\n\nA(a t, b t, c t)\n1,,3\n,,\n4,5,\n\nB(x t)\na\n,\nb\n"));
  EXPECT_EQ("A(a t, b t, c t)\n1,,3\n,,\n4,5,\n\n", written(store.tables[0]));
  // A one-column row whose cell is empty is an empty line.
  EXPECT_EQ("B(x t)\na\n\nb\n\n", written(store.tables[1]));
}

TEST(Writer, RelationWithoutColumnsOrRows) {
  ASSERT_EQ("", load("join(A)\n\nA(x int)\n"));
  EXPECT_EQ("A(x int)\n\n", written(store.tables[0]));
  store.result.name = "B";
  EXPECT_EQ("B()\n\n", written(store.result));
}

TEST(Writer, TenTablesInTheHeading) {
  std::string input = "join(a,b,c,d,e,f,g,h,i,j)\n\n";
  for (char name = 'a'; name <= 'j'; ++name) input += std::string(1, name) + "(x t)\n1\n\n";
  ASSERT_EQ("", load(input));
  EXPECT_EQ(input, writtenInputTables());
}

TEST(Writer, ABlockOfManyLinesCarriesEveryByte) {
  // A table of about 1 MB goes out in several blocks, each cut after a line.
  std::string input = "join(A)\n\nA(x t, y t)\n";
  for (int r = 0; r < 10000; ++r)
    input += std::to_string(r) + ",v" + std::string(r % 200, 'w') + "\n";
  ASSERT_EQ("", load(input));
  std::FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  LineOutput out;
  out.fd = fileno(file);
  writeInputTables(out);
  EXPECT_EQ(0, out.error);
  std::string written(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  written.resize(std::fread(written.data(), 1, written.size(), file));
  std::fclose(file);
  std::string expected;
  for (char c : input + "\n") expected += c == '\n' ? std::string(LineEnd) : std::string(1, c);
  EXPECT_EQ(expected, written);
}

// relation's block laid out cell by cell.
std::string cellByCell(const Relation& relation) {
  std::string block = showColumns(relation) + "\n";
  for (int r = 0; r < relation.rowCount; ++r) {
    for (int c = 0; c < relation.columnCount; ++c) {
      if (c > 0) block += ',';
      block += cellText(cellAt(relation, c, r));
    }
    block += '\n';
  }
  return block + "\n";
}

TEST(Writer, LinesAreTheCellsJoinedByCommas) {
  // The writer copies an input table's rows from the text whole where they
  // stand there as its lines, and a run of a result's columns that stand side
  // by side in one input table as one piece of the text: either must give the
  // cells joined by "," whatever the rows hold, as a cell-by-cell layout does.
  const char* inputs[] = {
      // The right table's column 1 follows the left table's column 0: two runs.
      "join(A,B)\n\nA(k t)\n1\n2\n\nB(k t, b t)\n2,y\n1,x\n",
      // The join column in the middle of the right table splits its run.
      "join(A,B)\n\nA(k t, a t)\n1,x\n2,\n,y\n\nB(b t, k t, c t, d t)\np,1,q,r\ns,2\n,,,\nt,1,,u\n",
      // Missing values at a row's end, values beyond the columns, an empty row.
      "join(A,B)\n\nA(a t, b t, c t)\n1\n1,2\n1,2,3,4,5\n,\n\nB(d t, e t)\nd\n,e\n",
      // A product, then a join on the product's second table; the last row
      // ends the text.
      "join(A,B,C)\n\nA(a t, b t)\n1,2\n3\n\nB(c t, d t)\nc,d\n\nC(d t, e t, f t)\nd,e,f\nd,,f",
      // Long values, longer than any block copied at once.
      "join(A,B)\n\nA(k t, a t)\nkey,0123456789012345678901234567890123456789\n\n"
      "B(k t, b t, c t)\nkey,01234567890123456789012345678901,z\n",
      // Rows that stand as their lines but for one thing each: a value too
      // many, an empty line, a blank or CR behind a row, two rows on a line.
      "join(A,B,C,D,E,F)\n\nA(a t)\n1\n2,3\n\nB(b t)\n1\n\n2\n\nC(c t)\n1 \n2\n\n"
      "D(d t)\n1\r\n2\r\n\r\nE(e t)\n1\t2\n\nF(f t)\n1\n2\n",
  };
  for (const char* input : inputs) {
    ASSERT_EQ("", load(input)) << input;
    std::string err;
    printedBy([&] { ASSERT_TRUE(foldTables(&err)) << err; });
    std::string heading, tables;
    for (int t = 0; t < store.tableCount; ++t) {
      if (t > 0) heading += ',';
      heading += store.tables[t].name;
      tables += cellByCell(store.tables[t]);
    }
    tables = "join(" + heading + ")\n\n" + tables;
    EXPECT_EQ(tables, writtenInputTables()) << input;
    EXPECT_EQ(cellByCell(store.result), written(store.result)) << input;
  }
}

// "0.0 0.1 1.2": the input table and column each of relation's columns is.
std::string origins(const Relation& relation) {
  std::string shown;
  for (int c = 0; c < relation.columnCount; ++c) {
    if (c > 0) shown += ' ';
    const Column& column = relation.columns[c];
    shown += std::to_string(column.originTable) + "." + std::to_string(column.originColumn);
  }
  return shown;
}

TEST(Writer, ColumnsKnowTheInputColumnTheirCellsAreFrom) {
  // What the writer's runs rest on: the reader gives each column its place,
  // and a join (B's k goes) and a product keep it.
  ASSERT_EQ("", load("join(A,B,C)\n\nA(k t, a t)\n1,x\n\nB(b t, k t, c t)\np,1,q\n\nC(z t)\nz\n"));
  std::string err;
  printedBy([&] { ASSERT_TRUE(foldTables(&err)) << err; });
  EXPECT_EQ("1.0 1.1 1.2", origins(store.tables[1]));
  EXPECT_EQ("0.0 0.1 1.0 1.2 2.0", origins(store.result));
}

TEST(Writer, OutputSizeIsWhatIsWritten) {
  ASSERT_EQ("", load("join(A,B)\n\nA(x t, y t)\n1,22\n,\n\nB(z t)\n\nC(q t)\n"));
  copyRelation(store.tables[0], store.result);
  std::string all = writtenInputTables() + written(store.result);
  OutputSize size = outputSize();
  EXPECT_EQ(all.size(), size.bytes);
  EXPECT_EQ(static_cast<std::uint64_t>(std::count(all.begin(), all.end(), '\n')), size.lines);
}

TEST(Writer, ASecondInputReadIntoTheStoreReplacesTheFirstsRowLines) {
  // As the fuzzer reads its output back: rows that stood as their lines in
  // the first text must not be taken from it for the second, whose rows do
  // not stand so.
  ASSERT_EQ("", load("join(A,B)\n\nA(x t)\n1\n2\n\nB(y t)\n3\n"));
  ASSERT_EQ("join(A,B)\n\nA(x t)\n1\n2\n\nB(y t)\n3\n\n", writtenInputTables());
  std::string err;
  ASSERT_TRUE(readInput("join(A,B)\n\nA(x t)\n4 5\n\nB(y t)\n6,7\n", &err)) << err;
  EXPECT_EQ("join(A,B)\n\nA(x t)\n4\n5\n\nB(y t)\n6\n\n", writtenInputTables());
}

TEST(Writer, SingleTableHeading) {
  ASSERT_EQ("", load("join(A)\n\nA(x t)\n1\n"));
  EXPECT_EQ("join(A)\n\nA(x t)\n1\n\n", writtenInputTables());
}

}  // namespace
}  // namespace tjoin
