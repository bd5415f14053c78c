// Writing the output file: the heading line, the input tables and the result,
// each line in a write() of its own.

#ifndef TJOIN_OUTPUT_OUTPUT_FILE_H_
#define TJOIN_OUTPUT_OUTPUT_FILE_H_

#include <string>

namespace tjoin {

// Creates the file at path with permission bits 0664 (as the umask allows), or
// empties it, and writes the input tables and store.result into it, each line
// ending as the platform's text files end it. An existing file is emptied only
// once the room for the whole output is known to be there (where the file
// system can tell). Returns false, with a one-line reason naming the file in
// *err, when the file cannot be opened, lacks room, or a write or the close
// fails; a file this run created is then removed.
bool writeOutputFile(const char* path, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_OUTPUT_OUTPUT_FILE_H_
