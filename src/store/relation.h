// Relations: the fixed-capacity tables that every part of tjoin reads and
// writes, and the two ways to make one Relation's content another's.
//
// A Relation holds room for MaxColumns Columns and MaxColumns x MaxRows cells,
// column by column: the cell of column c and row r is cells[c * MaxRows + r].
// Only the Columns below columnCount and the cells below both counts are
// content; whatever lies beyond them is a leftover and is never read.

#ifndef TJOIN_STORE_RELATION_H_
#define TJOIN_STORE_RELATION_H_

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tjoin {

constexpr int MaxTables = 10;   // input Relations in the store
constexpr int MaxColumns = 50;  // Columns in one Relation
constexpr int MaxRows = 10000;  // rows in one Relation (cells per column)

// A cell is the offset of its first byte in the run's text, the string
// store.text (store/store.h) that holds the input file once for the whole run.
// Every stored value is followed there by a "," or a white-space byte, so its
// end needs no storing; offset 0 is the text's leading line feed, the empty
// cell. Cells stay 32-bit offsets on purpose: four bytes a cell keep a full
// Relation at 2 MB of address space (a pointer and a length would take four
// times that, and the memory the benchmarks allow), at the price of inputs
// under 4 GiB; and zeroed memory is a Relation of empty cells.
using Cell = std::uint32_t;
constexpr Cell EmptyCell = 0;

// Where a Column comes from. The reader gives each Column of input table t
// the origin (t, c), its own place; every copy of a Column keeps it, so a
// column of the result names the input column whose cells it holds, and -1
// says that a Column is no input column's (one made by hand).
//
// The writer relies on it: where columns of a Relation hold consecutive
// columns of one input table, their cells in one row are values of one input
// row (an output row is made of whole input rows), standing in the text one
// after the other with a "," between two, as the reader stored them. The
// reader leaves empty cells (EmptyCell) only for the values missing at a
// row's end. So the writer copies such a run of cells as one piece of text,
// and checks in Debug builds that they stand so.
struct Column {
  std::string_view name;           // views into the run's text
  std::string_view type;           // compared as text, never interpreted
  std::int32_t aux = 0;            // travels with the Column on a copy; nothing reads it
  std::int16_t originTable = -1;   // the input table, or -1
  std::int16_t originColumn = -1;  // its column
};

// Gives a Relation's cell storage back to the system.
struct CellStorageRelease {
  void operator()(Cell* cells) const;
};
using CellStorage = std::unique_ptr<Cell[], CellStorageRelease>;

// Returns MaxColumns x MaxRows empty cells in zero-filled pages that cost no
// memory until a cell in them is written (a heap block where AddressSanitizer
// is to see every cell access), or no storage (nullptr) when the
// system has no address space left for them. The store's Relations get
// theirs before the run starts, where nothing could report a failure: the
// driver checks them (storeHasCells).
CellStorage makeCellStorage();

struct Relation {
  std::string_view name;
  std::int32_t columnCount = 0;  // 0 to MaxColumns
  std::int32_t rowCount = 0;     // 0 to MaxRows
  std::array<Column, MaxColumns> columns{};
  CellStorage cells = makeCellStorage();
};

// REQUIRES: 0 <= c < MaxColumns, 0 <= r < MaxRows.
inline Cell& cellAt(Relation& relation, int c, int r) {
  assert(0 <= c && c < MaxColumns && 0 <= r && r < MaxRows);
  return relation.cells[static_cast<std::size_t>(c) * MaxRows + r];
}
inline Cell cellAt(const Relation& relation, int c, int r) {
  assert(0 <= c && c < MaxColumns && 0 <= r && r < MaxRows);
  return relation.cells[static_cast<std::size_t>(c) * MaxRows + r];
}

// Prefaults the pages of cells (c, firstRow) to (c, firstRow + rows - 1) in
// one call rather than a page fault per page as they are first written.
void prefaultCells(Relation& relation, int c, int firstRow, int rows);

// Makes destination's content that of source: name, counts, the Columns below
// the count and the cells below both counts. Nothing beyond the source's counts
// is touched, so the destination keeps its leftovers there. (A single input
// table becomes the result this way.)
// REQUIRES: source's counts within the capacities.
void copyRelation(const Relation& source, Relation& destination);

// Makes destination's content what source's is, as copyRelation does, but
// hands the cells over instead of copying them: the two exchange their cell
// storage. source is left empty (no columns, no rows), destination's old
// cells its leftovers. (An operator that built its output aside hands it to
// the result this way.)
void moveRelation(Relation& source, Relation& destination);

}  // namespace tjoin

#endif  // TJOIN_STORE_RELATION_H_
