#include "ops/product.h"

#include <gtest/gtest.h>

#include <string>

#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

// Loads input and multiplies its tables 0 and 1 into store.result.
std::string multiply(const std::string& input) {
  std::string err = load(input);
  if (!err.empty()) return err;
  return directProduct(store.tables[0], store.tables[1], &err) ? "" : err;
}

TEST(DirectProduct, WorkedExample) {
  ASSERT_EQ("", multiply("join(L,R)\n\nL(a int, b text)\n1,x\n2,y\n\nR(c text)\np\nq\n"));
  EXPECT_EQ("result(a int, b text, c text)", showColumns(store.result));
  EXPECT_EQ("1,x,p|1,x,q|2,y,p|2,y,q", showRows(store.result));
}

TEST(DirectProduct, KeepsEveryColumnAndRepeatedRows) {
  ASSERT_EQ("", multiply("join(L,R)\n\nL(a int)\n1\n1\n\nR(a text)\nz\n"));
  EXPECT_EQ("result(a int, a text)", showColumns(store.result));
  EXPECT_EQ("1,z|1,z", showRows(store.result));
}

TEST(DirectProduct, EmptyInputGivesColumnsWithoutRows) {
  ASSERT_EQ("", multiply("join(L,R)\n\nL(a t)\n1\n\nR(b t)\n"));
  EXPECT_EQ("result(a t, b t)", showColumns(store.result));
  EXPECT_EQ(0, store.result.rowCount);
}

TEST(DirectProduct, RefusesOutputBeyondTheCapacity) {
  std::string hundredOne;
  for (int r = 0; r < 101; ++r) hundredOne += std::to_string(r) + "\n";
  EXPECT_EQ("the result would have more than 10000 rows",
            multiply("join(L,R)\n\nL(a t)\n" + hundredOne + "\nR(b t)\n" + hundredOne));
  std::string left = "l0 t", right = "r0 t";
  for (int c = 1; c < 25; ++c) left += ", l" + std::to_string(c) + " t";
  for (int c = 1; c < 26; ++c) right += ", r" + std::to_string(c) + " t";
  EXPECT_EQ("the result would have 51 columns, more than 50",
            multiply("join(L,R)\n\nL(" + left + ")\n\nR(" + right + ")\n"));
}

}  // namespace
}  // namespace tjoin
