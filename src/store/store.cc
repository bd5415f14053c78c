#include "store/store.h"

namespace tjoin {

namespace {

// The store's own memory is static: nothing is allocated before main, where
// no failure could be reported. Its Relations map their cells then, and a
// refusal leaves them without cells (storeHasCells). Held in a union, it is
// never destroyed: the process's end releases its memory at once, where
// destroying it would unmap Relation by Relation.
union StoreHolder {
  StoreHolder() : store() {}
  ~StoreHolder() {}
  RelationStore store;
};
StoreHolder holder;

}  // namespace

RelationStore& store = holder.store;

namespace {

void emptyRelation(Relation& relation) {
  relation.name = {};
  relation.columnCount = 0;
  relation.rowCount = 0;
  relation.columns.fill(Column{});
  relation.cells = makeCellStorage();
}

}  // namespace

void resetStore() {
  for (Relation& table : store.tables) emptyRelation(table);
  emptyRelation(store.result);
  emptyRelation(store.scratch);
  store.tableCount = 1;
  store.rowLines.fill({});
  store.pairCount = 0;
  store.leftIndex.fill(0);
  store.rightIndex.fill(0);
  // Last, once nothing points into it any more.
  std::string("\n").swap(store.text);
}

bool storeHasCells() {
  for (const Relation& table : store.tables) {
    if (!table.cells) return false;
  }
  return store.result.cells && store.scratch.cells;
}

}  // namespace tjoin
