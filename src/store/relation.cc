#include "store/relation.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tjoin {
namespace {

constexpr std::size_t CellStorageBytes = sizeof(Cell) * MaxColumns * MaxRows;

}  // namespace

void CellStorageRelease::operator()(Cell* cells) const { munmap(cells, CellStorageBytes); }

// An anonymous mapping rather than calloc: the allocator may hand back reused
// memory and clear it byte by byte, which would cost every Relation its full
// 2 MB whatever it holds.
CellStorage makeCellStorage() {
  void* pages =
      mmap(nullptr, CellStorageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) {
    std::fputs("tjoin: out of memory\n", stderr);
    std::exit(1);
  }
  return CellStorage(static_cast<Cell*>(pages));
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

}  // namespace tjoin
