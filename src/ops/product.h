// Direct product: the fold step for two Relations that share no column.

#ifndef TJOIN_OPS_PRODUCT_H_
#define TJOIN_OPS_PRODUCT_H_

#include <string>

#include "store/relation.h"

namespace tjoin {

// Replaces store.result with every left row followed by every right row, in
// left-row-major order, under all of left's and then all of right's Columns.
// left may be store.result itself. Returns false, with the reason in *err and
// store.result unchanged, when the output would exceed MaxColumns columns or
// MaxRows rows.
bool directProduct(const Relation& left, const Relation& right, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_OPS_PRODUCT_H_
