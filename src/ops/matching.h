// Common-column matching: which columns of a fold step's two Relations are
// equal in both name and type, and so become the step's join columns.

#ifndef TJOIN_OPS_MATCHING_H_
#define TJOIN_OPS_MATCHING_H_

#include <string>

#include "store/relation.h"

namespace tjoin {

// Sets store.pairCount, store.leftIndex and store.rightIndex to the ColumnPairs
// of left and right, in ascending left index and, for one left column, ascending
// right index. Names and types are equal when their bytes are. Prints
// "Kozos oszlop: Nincs" and a line end, flushed, when there is no pair.
// Returns false, with the pair count in *err, when there are more than
// MaxColumns pairs (possible only when a Relation repeats a column); the
// pairs are then not to be used.
bool findCommonColumns(const Relation& left, const Relation& right, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_OPS_MATCHING_H_
