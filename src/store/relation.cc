#include "store/relation.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace tjoin {
namespace {

constexpr std::size_t CellStorageBytes = sizeof(Cell) * MaxColumns * MaxRows;

}  // namespace

void CellStorageRelease::operator()(Cell* cells) const { unmapZeroPages(cells, CellStorageBytes); }

CellStorage makeCellStorage() {
  return CellStorage(static_cast<Cell*>(mapZeroPages(CellStorageBytes)));
}

void prefaultCells(Relation& relation, int c, int firstRow, int rows) {
  prefaultPages(&cellAt(relation, c, firstRow), sizeof(Cell) * static_cast<std::size_t>(rows));
}

void copyRelation(const Relation& source, Relation& destination) {
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
