// The last stage of both fold operators: building the output Relation from the
// pairs of input rows it is made of, and handing it over to store.result.

#ifndef TJOIN_OPS_COMPOSE_H_
#define TJOIN_OPS_COMPOSE_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/relation.h"

namespace tjoin {

// One output row: the left row and the right row it is made of.
struct RowPair {
  std::int32_t left;
  std::int32_t right;
};

// Replaces store.result with the Relation named "result" whose Columns are all
// of left's, then right's Columns c with keepRight[c], and whose row r is left
// row rows[r].left followed by the kept cells of right row rows[r].right. The
// Columns are copies of left's and right's, origins included (see Column).
// left may be store.result itself: the output is then built in place, unless
// an output row needs a left row that an earlier output row has overwritten;
// then it is built aside, in the store's scratch Relation, whose cell storage
// then changes places with the result's.
// REQUIRES: the output has at most MaxColumns columns and MaxRows rows.
void composeResult(const Relation& left, const Relation& right,
                   const std::array<bool, MaxColumns>& keepRight, const std::vector<RowPair>& rows);

// Whether an output of width columns and rows rows fits a Relation; if not,
// *err says which capacity it exceeds (the columns first).
bool checkShape(int width, std::int64_t rows, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_OPS_COMPOSE_H_
