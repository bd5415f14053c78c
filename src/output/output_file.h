// The output file: the heading line, the input tables and the result, written
// so that no failure and no interruption leaves a torn file behind.

#ifndef TJOIN_OUTPUT_OUTPUT_FILE_H_
#define TJOIN_OUTPUT_OUTPUT_FILE_H_

#include <string>

#include "output/line_output.h"

namespace tjoin {

// What goes into the output file: by default writeInputTables and then
// writeRelation(store.result). Tests hand in others.
using OutputContent = void (*)(LineOutput& out);
void writeOutput(LineOutput& out);

// Writes content to the file at path, each line ending as the platform's text
// files end it, in one of three ways:
//
// - Replaced (a regular file with one link, or no file yet): the content goes
//   to a new file in the same directory, without a name where the system
//   allows, which is renamed over path once it is whole and closed. Until
//   then path names the old file (or nothing), after it the whole new one; a
//   signal that ends tjoin meanwhile removes the new file first. The new file
//   keeps the old one's owner and group, and its permission bits (set-user-ID
//   and set-group-ID included, set once the content is written), or is made
//   with 0664 as the umask allows. A symbolic link stays a link: the file it
//   leads to is replaced, or created.
// - Through the descriptor, at its offset and without emptying it, where path
//   is the file open for writing on tjoin's standard output or standard error.
// - In place (emptied, then written), where a new file would change what the
//   output is: not a regular file (a pipe, a terminal, /dev/null), a file with
//   more than one hard link, an owner or group the process cannot give a new
//   file, a directory in which it cannot make one, or a system that refuses
//   the rename. A regular file is emptied only once the output is built in
//   memory, no other tjoin writes it (a lock), and the room for the whole
//   output was there (the file-size limit, and the file system's room where
//   it can tell); the signals that would end tjoin wait until it is whole.
//
// Returns false, with a one-line reason naming path in *err, when the content
// cannot be written whole: the old file is then as it was (written in place,
// only a write that fails after the room check, an I/O error, can leave it
// short), and no file this run made is left. An allocation that fails throws
// std::bad_alloc, with the same files left.
bool writeOutputFile(const char* path, std::string* err, OutputContent content = writeOutput);

}  // namespace tjoin

#endif  // TJOIN_OUTPUT_OUTPUT_FILE_H_
