// The input file reader: fills the store's input Relations and tableCount
// from a file in tjoin's table layout.
//
//   join(Item,Store)                      heading line: the tables, in order
//                                         one line, skipped
//   Item(ino int, color string, sno int)  header line: name and type per column
//   1,red,10                              rows: one word each, values split at ","
//   2,blue,20
//                                         one blank line, then the next header
//   Store(sno int, city string)
//   10,north
//
// Rows are words separated by any white space; a word that holds a "(" ends
// the table and begins the next header. A row word that ends at the very end
// of the file is not stored. Tables the heading names beyond those the file
// holds keep their names with no columns and no rows.

#ifndef TJOIN_INPUT_READER_H_
#define TJOIN_INPUT_READER_H_

#include <string>
#include <string_view>

namespace tjoin {

// Loads the file at path into store.text and reads it as readInput does.
// Returns false with a one-line reason in *err (naming the file) when the file
// cannot be read, holds no word at all, or exceeds a capacity.
// REQUIRES: the store in its initial state (resetStore).
bool readInputFile(const char* path, std::string* err);

// Reads input (the bytes of an input file) into the store. Returns false with
// a reason in *err when input holds no word, the heading names more than
// MaxTables tables, a header has more than MaxColumns columns or a table holds
// more than MaxRows rows; the store's content is then not to be used.
// REQUIRES: the store in its initial state (resetStore).
bool readInput(std::string_view input, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_INPUT_READER_H_
