// Quoting names, paths and input text for one-line messages.

#ifndef TJOIN_INPUT_QUOTE_H_
#define TJOIN_INPUT_QUOTE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tjoin {

// text with its control bytes (below 0x20, and 0x7f) written as \n, \t, \r
// or \xNN, so that a message stays one line whatever a file name or an input
// file holds.
std::string escaped(std::string_view text);

// text escaped and between single quotes. Text longer than maxBytes is cut
// there and marked with "...".
std::string quoted(std::string_view text, std::size_t maxBytes = std::string_view::npos);

}  // namespace tjoin

#endif  // TJOIN_INPUT_QUOTE_H_
