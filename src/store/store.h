// The RelationStore: the one store of a run, holding the input text, the input
// Relations, the running result of the fold and the ColumnPairs of the fold
// step under way. Every part of tjoin reads and writes its fields directly.
//
// The one global store, and operations that talk through it rather than
// through their arguments and results, are the design, on purpose:
// findCommonColumns leaves the ColumnPairs here for the operator that follows
// it, naturalJoin falls back to the product when they are none, and the
// matching itself prints "Kozos oszlop: Nincs". Do not take them for
// accidents to tidy away.

#ifndef TJOIN_STORE_STORE_H_
#define TJOIN_STORE_STORE_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/relation.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tjoin {

struct RelationStore {
  // The run's text: one line feed (the empty cell, see Cell), the input file's
  // bytes (a copy of them, read once) and one more line feed, so that every
  // word in it ends at white space. The names, types and cells read from the
  // input point into it; nothing writes to it after the reader has filled it,
  // and it must not be replaced while a Relation holds content.
  std::string text = "\n";

  std::array<Relation, MaxTables> tables;  // in the order the heading names them
  std::int32_t tableCount = 1;             // names in the heading; never below 1

  // For input table t, its row lines as they stand in the text, each ended by
  // a line feed, where those bytes are exactly the lines the table's cells
  // make: every row holds as many values as the table has columns, and one
  // line feed follows each row. Empty otherwise, and for a table without rows.
  std::array<std::string_view, MaxTables> rowsInText{};
  Relation result;  // the fold so far, named "result"

  // Where an operator builds its output before handing it to result. One
  // Relation serves every fold step, so its pages are mapped once per run
  // rather than once per step; beyond the counts it holds leftovers.
  Relation scratch;

  // ColumnPair k, for k < pairCount, is (leftIndex[k], rightIndex[k]): a column
  // of the step's left Relation and the right column it is common with.
  std::int32_t pairCount = 0;
  std::array<std::int32_t, MaxColumns> leftIndex{};
  std::array<std::int32_t, MaxColumns> rightIndex{};
};

// The store of the run. It is never destroyed: the process's end releases its
// memory at once, where destroying it would unmap Relation by Relation.
extern RelationStore& store;

// Returns the store to the state in which the program starts: no input text,
// tableCount 1, no row lines, pairCount 0 and every Relation empty.
void resetStore();

// Whether every Relation of the store holds its cell storage; false when the
// system refused the memory for one.
bool storeHasCells();

// A cell ends at a "," or at white space, one of the six bytes space, \t, \n,
// \v, \f and \r: the reader stores a value where it begins and every part of
// tjoin finds its end by this rule (see Cell). CellEnds holds it per byte:
// CommaEnd for ",", SpaceEnd for white space, 0 for any other byte.
enum CellEnd : unsigned char { CommaEnd = 1, SpaceEnd = 2 };
constexpr std::array<unsigned char, 256> CellEnds = [] {
  std::array<unsigned char, 256> ends{};
  for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) ends[c] = SpaceEnd;
  ends[static_cast<unsigned char>(',')] = CommaEnd;
  return ends;
}();

inline bool isWhiteSpace(char c) { return CellEnds[static_cast<unsigned char>(c)] == SpaceEnd; }

// Whether c ends a cell: a "," or white space.
inline bool endsCell(char c) { return CellEnds[static_cast<unsigned char>(c)] != 0; }

#if defined(__SSE2__)
// Bit i set where byte i of bytes is white space.
inline unsigned whiteSpaceMask(__m128i bytes) {
  // \t, \n, \v, \f and \r are 9 to 13: less 9, at most 4 (unsigned).
  __m128i control = _mm_sub_epi8(bytes, _mm_set1_epi8(9));
  control = _mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8(4)), control);
  __m128i spaces = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), control);
  return static_cast<unsigned>(_mm_movemask_epi8(spaces));
}

// Bit i set where byte i of bytes is c.
inline unsigned byteMask(__m128i bytes, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}
#endif

// The number of bytes from begin, a byte of store.text, up to the next "," or
// white space. Sixteen bytes are looked at in one step where the text holds
// them: most cells are shorter, so most take one step, and the branch at a
// cell's end is taken once rather than mispredicted byte by byte. Writing
// W2's result to memory took 1.1 to 1.6 ms of CPU this way, 2.8 to 3.1 ms
// with this function byte by byte (BM_WriteResult, medians of five, three
// runs each).
inline std::size_t cellLength(const char* begin) {
  const char* p = begin;
#if defined(__SSE2__)
  const char* textEnd = store.text.data() + store.text.size();
  for (; textEnd - p >= 16; p += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (unsigned ends = byteMask(bytes, ',') | whiteSpaceMask(bytes)) {
      return static_cast<std::size_t>(p - begin) + std::countr_zero(ends);
    }
  }
#endif
  while (!endsCell(*p)) ++p;
  return static_cast<std::size_t>(p - begin);
}

// The bytes of a cell: from its offset in store.text up to the next "," or
// white space.
inline std::string_view cellText(Cell cell) {
  const char* begin = store.text.data() + cell;
  return std::string_view(begin, cellLength(begin));
}

}  // namespace tjoin

#endif  // TJOIN_STORE_STORE_H_
