// How the reader tells the bytes of the file format apart: a cell's end (a
// "," or white space, as the store defines it) and the "(" that makes a word
// a header rather than a row.

#ifndef TJOIN_INPUT_BYTE_CLASSES_H_
#define TJOIN_INPUT_BYTE_CLASSES_H_

#include <array>

#include "store/store.h"

namespace tjoin {

enum ByteClass : unsigned char { CommaByte = CommaEnd, SpaceByte = SpaceEnd, ParenByte = 4 };
constexpr std::array<unsigned char, 256> ByteClasses = [] {
  std::array<unsigned char, 256> classes = CellEnds;
  classes[static_cast<unsigned char>('(')] = ParenByte;
  return classes;
}();
inline unsigned char byteClass(char c) { return ByteClasses[static_cast<unsigned char>(c)]; }

#if defined(__SSE2__)
// The sixteen bytes from p as bit masks, bit i for p[i]: its "," bytes, its
// white space and its "(" bytes.
struct ByteMasks {
  unsigned commas, spaces, parens;
};
inline ByteMasks byteMasks(const char* p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return {byteMask(bytes, ','), whiteSpaceMask(bytes), byteMask(bytes, '(')};
}
#endif

}  // namespace tjoin

#endif  // TJOIN_INPUT_BYTE_CLASSES_H_
