// The input file reader: fills the store's input Relations and tableCount
// from text in tjoin's table layout, and refuses text outside it.
//
//   join(Item,Store)                      heading line: the tables, in order
//                                         one line, skipped
//   Item(ino int, color string, sno int)  header line: name and type per column
//   1,red,10                              rows: one word each, values split at ","
//   2,blue,20
//                                         exactly one blank line, then the next header
//   Store(sno int, city string)
//   10,north
//
// The heading word ends at white space, so "join(A, B)" names A and an empty
// table; a name that is empty or holds "(" is refused, as the tables could
// not be written back under it. Rows are words separated by any white space.
// A header line stands on the second line after the line of the word before
// it (the heading word, or the last row or header word of the block before);
// a word holding "(" anywhere else is a value, and values may not hold "(".
// Blocks after the last table the heading names are not read, but their first
// header line is checked.

#ifndef TJOIN_INPUT_READER_H_
#define TJOIN_INPUT_READER_H_

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "store/relation.h"

namespace tjoin {

// The largest input read, 4294967294 bytes: cells are 32-bit offsets into the
// text, which holds the input and a line feed on either side.
constexpr std::uint64_t MaxInputBytes = std::numeric_limits<Cell>::max() - 1;

// Why an input is refused: "the file is 4294967295 bytes; tjoin reads files
// of at most 4294967294 bytes", or "more than ..." where its size is unknown
// (a pipe is refused once it has given more).
std::string inputTooLarge(std::string_view what, std::uint64_t bytes, bool exact);

// Copies input into store.text and reads it as readStoreText does. Errors are
// worded as for a file without a name: "line 3: table 'A': ...".
// REQUIRES: the store in its initial state (resetStore), or holding an input
// read this way before: its input tables and row lines are then replaced
// whole, and its result, which views the earlier text, must be folded anew
// before it is read.
bool readInput(std::string_view input, std::string* err);

// Reads store.text, which holds a line feed, the input's bytes and a line
// feed, into the store's input Relations and tableCount; a UTF-8 byte order
// mark in front of the input is skipped. Returns false with a one-line reason
// in *err when the text holds no word ("'in.txt': the file is empty ..."), is
// outside the format, names a table without a name or with "(" in it, or
// exceeds MaxTables, MaxColumns or MaxRows; the reason then begins with file
// and the line, "in.txt:3: ", the file name with its control bytes escaped.
// The store's content is then not to be used.
bool readStoreText(std::string_view file, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_INPUT_READER_H_
