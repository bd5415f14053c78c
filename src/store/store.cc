#include "store/store.h"

namespace tjoin {

RelationStore& store = *new RelationStore;

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
  store.rowsInText.fill({});
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
