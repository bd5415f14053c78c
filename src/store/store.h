// The RelationStore: the one store of a run, holding the input text, the input
// Relations, the running result of the fold and the ColumnPairs of the fold
// step under way. Every part of tjoin reads and writes its fields directly.

#ifndef TJOIN_STORE_STORE_H_
#define TJOIN_STORE_STORE_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/relation.h"

namespace tjoin {

struct RelationStore {
  // The run's text: one line feed (the empty cell, see Cell), then the input
  // file's bytes. Every name, type and cell of every Relation points into it,
  // so it must not change while any Relation holds content.
  std::string text = "\n";

  std::array<Relation, MaxTables> tables;  // in the order the heading names them
  std::int32_t tableCount = 1;             // names in the heading; never below 1
  Relation result;                         // the fold so far, named "result"

  // ColumnPair k, for k < pairCount, is (leftIndex[k], rightIndex[k]): a column
  // of the step's left Relation and the right column it is common with.
  std::int32_t pairCount = 0;
  std::array<std::int32_t, MaxColumns> leftIndex{};
  std::array<std::int32_t, MaxColumns> rightIndex{};
};

extern RelationStore store;

// Returns the store to the state in which the program starts: no text,
// tableCount 1, pairCount 0 and eleven empty Relations.
void resetStore();

// The six white-space bytes of the file format: space, \t, \n, \v, \f, \r.
inline bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The bytes of a cell: from its offset in store.text up to the next "," or
// white space.
inline std::string_view cellText(Cell cell) {
  const char* begin = store.text.data() + cell;
  const char* end = begin;
  while (*end != ',' && !isWhiteSpace(*end)) ++end;
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

}  // namespace tjoin

#endif  // TJOIN_STORE_STORE_H_
