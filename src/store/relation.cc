#include "store/relation.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace tjoin {
namespace {

constexpr std::size_t CellStorageBytes = sizeof(Cell) * MaxColumns * MaxRows;

// Under AddressSanitizer the cells come from the heap: it checks every access
// to a heap block against the block's bounds, and sees none to pages mapped
// by hand.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool CellsOnHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool CellsOnHeap = true;
#else
constexpr bool CellsOnHeap = false;
#endif
#else
constexpr bool CellsOnHeap = false;
#endif

}  // namespace

void CellStorageRelease::operator()(Cell* cells) const {
  if (CellsOnHeap) {
    std::free(cells);
  } else {
    unmapZeroPages(cells, CellStorageBytes);
  }
}

CellStorage makeCellStorage() {
  void* cells = CellsOnHeap ? std::calloc(CellStorageBytes, 1) : mapZeroPages(CellStorageBytes);
  return CellStorage(static_cast<Cell*>(cells));
}

void prefaultCells(Relation& relation, int c, int firstRow, int rows) {
  prefaultPages(&cellAt(relation, c, firstRow), sizeof(Cell) * static_cast<std::size_t>(rows));
}

void copyRelation(const Relation& source, Relation& destination) {
  assert(0 <= source.columnCount && source.columnCount <= MaxColumns);
  assert(0 <= source.rowCount && source.rowCount <= MaxRows);
  if (&source == &destination) return;
  destination.name = source.name;
  destination.columnCount = source.columnCount;
  destination.rowCount = source.rowCount;
  for (int c = 0; c < source.columnCount; ++c) {
    destination.columns[c] = source.columns[c];
    std::size_t column = static_cast<std::size_t>(c) * MaxRows;
    std::memcpy(destination.cells.get() + column, source.cells.get() + column,
                sizeof(Cell) * static_cast<std::size_t>(source.rowCount));
  }
}

void moveRelation(Relation& source, Relation& destination) {
  if (&source == &destination) return;
  destination.name = source.name;
  destination.columnCount = source.columnCount;
  destination.rowCount = source.rowCount;
  std::copy_n(source.columns.begin(), source.columnCount, destination.columns.begin());
  destination.cells.swap(source.cells);
  source.columnCount = 0;
  source.rowCount = 0;
}

}  // namespace tjoin
