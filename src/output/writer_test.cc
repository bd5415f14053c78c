#include "output/writer.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <string>
#include <vector>

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

TEST(Writer, WritesEveryLineOnItsOwn) {
#ifdef _WIN32
  GTEST_SKIP() << "no datagram socket to receive the writes one by one";
#else
  ASSERT_EQ("", load("join(A,B)\n\nA(x t, y t)\n1,2\n\nB(z t)\n"));
  // A datagram socket keeps what each write() hands on apart.
  int sockets[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_DGRAM, 0, sockets));
  LineOutput out;
  out.fd = sockets[0];
  writeInputTables(out);
  std::vector<std::string> writes;
  char received[256];
  for (ssize_t n; (n = recv(sockets[1], received, sizeof received, MSG_DONTWAIT)) > 0;) {
    writes.emplace_back(received, static_cast<std::size_t>(n));
  }
  close(sockets[0]);
  close(sockets[1]);
  EXPECT_EQ(0, out.error);
  EXPECT_EQ((std::vector<std::string>{"join(A,B)\n", "\n", "A(x t, y t)\n", "1,2\n", "\n",
                                      "B(z t)\n", "\n"}),
            writes);
#endif
}

TEST(Writer, OutputSizeIsWhatIsWritten) {
  ASSERT_EQ("", load("join(A,B)\n\nA(x t, y t)\n1,22\n,\n\nB(z t)\n\nC(q t)\n"));
  copyRelation(store.tables[0], store.result);
  std::string all = writtenInputTables() + written(store.result);
  OutputSize size = outputSize();
  EXPECT_EQ(all.size(), size.bytes);
  EXPECT_EQ(static_cast<std::uint64_t>(std::count(all.begin(), all.end(), '\n')), size.lines);
}

TEST(Writer, SingleTableHeading) {
  ASSERT_EQ("", load("join(A)\n\nA(x t)\n1\n"));
  EXPECT_EQ("join(A)\n\nA(x t)\n1\n\n", writtenInputTables());
}

}  // namespace
}  // namespace tjoin
