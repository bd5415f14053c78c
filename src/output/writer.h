// The writers: the output file's heading line, the input tables and the
// result, each table as a block in the layout the reader reads:
//
//   join(Item,Store)                      heading line
//                                         empty line
//   Item(ino int, color string, sno int)  header: name, then "name type" entries
//   1,red,10                              one line per row, cells joined by ","
//                                         empty line closing the block
//
// The lines go to the output in order, in blocks of many lines a write().

#ifndef TJOIN_OUTPUT_WRITER_H_
#define TJOIN_OUTPUT_WRITER_H_

#include <cstdint>

#include "platform/line_output.h"
#include "store/relation.h"

namespace tjoin {

// Writes the heading line naming store.tables[0] to [tableCount - 1], the
// empty line, and the block of each of those tables. A table's rows that stand
// in the text as its lines (store.rowsInText) go out from the text as they are.
void writeInputTables(LineOutput& out);

// Writes relation's block: its header line, one line per row and the empty
// line. A Relation without columns has the header line "name()".
void writeRelation(LineOutput& out, const Relation& relation);

// What writeInputTables and then writeRelation(store.result) write: bytes,
// each line ended by one line feed, and the number of lines.
struct OutputSize {
  std::uint64_t bytes = 0;
  std::uint64_t lines = 0;
};
OutputSize outputSize();

}  // namespace tjoin

#endif  // TJOIN_OUTPUT_WRITER_H_
