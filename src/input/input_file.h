// Loading the input file: its bytes into store.text, then the reader.

#ifndef TJOIN_INPUT_INPUT_FILE_H_
#define TJOIN_INPUT_INPUT_FILE_H_

#include <string>

namespace tjoin {

// Loads the file at path into store.text (a line feed, its bytes, a line feed)
// and reads it with readStoreText. Returns false with a one-line reason in
// *err, naming the file, when the file cannot be read, is larger than
// MaxInputBytes (refused from its size before any byte is read, where it has one),
// or is refused by the reader. Nothing read is kept after a failure to read.
// REQUIRES: the store in its initial state (resetStore).
bool readInputFile(const char* path, std::string* err);

}  // namespace tjoin

#endif  // TJOIN_INPUT_INPUT_FILE_H_
