// The RelationStore: the one store of a run, holding the input text, the input
// Relations, the running result of the fold and the ColumnPairs of the fold
// step under way. Every part of tjoin reads and writes its fields directly.

#ifndef TJOIN_STORE_STORE_H_
#define TJOIN_STORE_STORE_H_

#include <array>
#include <bit>
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
  std::array<std::string_view, MaxTables> rowLines{};
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

// Byte classes of the file format, looked up per byte by the reader and by
// cellText. White space is the six bytes space, \t, \n, \v, \f and \r; a cell
// ends at white space or ","; a word holding "(" is a header, not a row.
enum ByteClass : unsigned char { CommaByte = 1, SpaceByte = 2, ParenByte = 4 };
constexpr std::array<unsigned char, 256> ByteClasses = [] {
  std::array<unsigned char, 256> classes{};
  for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) classes[c] = SpaceByte;
  classes[static_cast<unsigned char>(',')] = CommaByte;
  classes[static_cast<unsigned char>('(')] = ParenByte;
  return classes;
}();
inline unsigned char byteClass(char c) { return ByteClasses[static_cast<unsigned char>(c)]; }

inline bool isWhiteSpace(char c) { return byteClass(c) == SpaceByte; }

// Whether c ends a cell: a "," or white space.
inline bool endsCell(char c) { return (byteClass(c) & (CommaByte | SpaceByte)) != 0; }

#if defined(__SSE2__)
// The sixteen bytes from p as bit masks, bit i for p[i]: its "," bytes, its
// white space and its "(" bytes.
struct ByteMasks {
  unsigned commas, spaces, parens;
};
inline ByteMasks byteMasks(const char* p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // \t, \n, \v, \f and \r are 9 to 13: less 9, at most 4 (unsigned).
  __m128i control = _mm_sub_epi8(bytes, _mm_set1_epi8(9));
  control = _mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8(4)), control);
  __m128i spaces = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), control);
  return {static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')))),
          static_cast<unsigned>(_mm_movemask_epi8(spaces)),
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('('))))};
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
    ByteMasks masks = byteMasks(p);
    if (unsigned ends = masks.commas | masks.spaces) {
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
