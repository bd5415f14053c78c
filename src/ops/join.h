// Natural join: the fold step for two Relations with common columns.

#ifndef TJOIN_OPS_JOIN_H_
#define TJOIN_OPS_JOIN_H_

#include <string>

#include "store/relation.h"

namespace tjoin {

// Replaces store.result with the natural join of left and right on the
// ColumnPairs that findCommonColumns has just set for these two Relations.
// A pair of rows matches when every ColumnPair's two cells hold the same
// bytes; output rows follow left row order, then right row order. Columns:
// all of left's, then right's columns that stand in no ColumnPair. With no
// ColumnPair this is the direct product. left may be store.result itself.
// Returns false, with the reason in *err and store.result unchanged, when the
// output would exceed MaxColumns columns or MaxRows rows.
bool naturalJoin(const Relation& left, const Relation& right, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_OPS_JOIN_H_
