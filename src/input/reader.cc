#include "input/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "store/store.h"

namespace tjoin {
namespace {

// Cells are 32-bit offsets into the text, which holds a line feed and then
// the input.
constexpr std::size_t MaxInputBytes = std::numeric_limits<Cell>::max();
constexpr const char* TooLarge = "the file is larger than 4 GiB";

// A read position in store.text, with the format's end-of-input condition:
// set when a read meets the end of the text, cleared by returning to a
// remembered position.
struct Cursor {
  char* text;        // store.text.data()
  std::size_t size;  // store.text.size()
  std::size_t pos;
  bool atEnd = false;
};

// Skips white space, then takes bytes up to the next white space. Returns false,
// with atEnd set, when only white space is left. A word that runs to the end of
// the text is delivered with atEnd set.
bool readWord(Cursor& in, std::string_view* word) {
  while (in.pos < in.size && isWhiteSpace(in.text[in.pos])) ++in.pos;
  if (in.pos == in.size) {
    in.atEnd = true;
    return false;
  }
  std::size_t start = in.pos;
  while (in.pos < in.size && !isWhiteSpace(in.text[in.pos])) ++in.pos;
  if (in.pos == in.size) in.atEnd = true;
  *word = std::string_view(in.text + start, in.pos - start);
  return true;
}

// Takes the bytes up to the next line feed, which is consumed and not returned.
std::string_view readLine(Cursor& in) {
  std::size_t start = in.pos;
  const void* feed = std::memchr(in.text + start, '\n', in.size - start);
  if (feed == nullptr) {
    in.pos = in.size;
    in.atEnd = true;
    return std::string_view(in.text + start, in.size - start);
  }
  std::size_t end = static_cast<std::size_t>(static_cast<const char*>(feed) - in.text);
  in.pos = end + 1;
  return std::string_view(in.text + start, end - start);
}

void returnTo(Cursor& in, std::size_t pos) {
  in.pos = pos;
  in.atEnd = false;
}

// The word, which lies in in's text, without the first occurrence of c.
// Written as the format asks, c is the word's last byte and the result is a
// prefix. Elsewhere, the bytes in front of it move one place right over it in
// the text, so the result is still one view.
std::string_view dropFirst(Cursor& in, std::string_view word, char c) {
  std::size_t at = word.find(c);
  if (at == std::string_view::npos) return word;
  if (at + 1 == word.size()) return word.substr(0, at);
  char* begin = in.text + (word.data() - in.text);
  std::memmove(begin + 1, begin, at);
  return std::string_view(begin + 1, word.size() - 1);
}

// The heading word is "join(" and the names separated by ","; a ")" closes the
// last name. The first five bytes are dropped whatever they are.
void storeTableNames(std::string_view heading) {
  std::string_view rest = heading.substr(std::min<std::size_t>(5, heading.size()));
  for (int i = 0; i < store.tableCount; ++i) {
    std::size_t cut = rest.find(',');
    bool last = cut == std::string_view::npos;
    if (last) cut = rest.find(')');
    store.tables[i].name = rest.substr(0, cut);
    if (last) break;
    rest.remove_prefix(cut + 1);
  }
}

// Reads the column names and types of one header. Returns false, leaving the
// Relation without columns, when the text ends before the header's first word.
bool readHeader(Cursor& in, Relation& table, int columnCount) {
  for (int c = 0; c < columnCount; ++c) {
    std::string_view name, type;
    if (!readWord(in, &name)) {
      if (c == 0) return false;
    } else if (c == 0) {
      std::size_t paren = name.find('(');
      if (paren != std::string_view::npos) name.remove_prefix(paren + 1);
    }
    if (readWord(in, &type)) type = dropFirst(in, type, c == columnCount - 1 ? ')' : ',');
    table.columns[c].name = name;
    table.columns[c].type = type;
  }
  table.columnCount = columnCount;
  return true;
}

// Whether the next word would be stored as a row: it holds no "(" and does not
// end the text. Leaves the cursor as it was.
bool rowFollows(Cursor& in) {
  Cursor peek = in;
  std::string_view word;
  return readWord(peek, &word) && !peek.atEnd && word.find('(') == std::string_view::npos;
}

// Reads the next word as row r of table, in one pass over its bytes: value k,
// up to the next ",", goes to column k; missing values leave empty cells and
// values beyond the columns are dropped. Returns false, storing no row, when
// the word holds a "(" (the cursor then stays in front of it) or ends the text.
// Cells of a word that is not stored are written all the same: they lie at
// rowCount or beyond, so they are never read.
bool readRow(Cursor& in, Relation& table, int r) {
  const char* text = in.text;
  const std::size_t size = in.size;
  const std::size_t mark = in.pos;
  std::size_t pos = mark;
  while (pos < size && isWhiteSpace(text[pos])) ++pos;
  int c = 0;
  std::size_t value = pos;
  bool paren = false;
  for (; pos < size; ++pos) {
    unsigned char kind = byteClass(text[pos]);
    if (kind == 0) continue;
    if (kind == SpaceByte) break;
    if (kind == ParenByte) {
      paren = true;
    } else {
      if (c < table.columnCount) cellAt(table, c++, r) = static_cast<Cell>(value);
      value = pos + 1;
    }
  }
  in.pos = pos;
  if (pos == size) {
    in.atEnd = true;
    return false;
  }
  if (paren) {
    returnTo(in, mark);
    return false;
  }
  if (c < table.columnCount) cellAt(table, c++, r) = static_cast<Cell>(value);
  for (; c < table.columnCount; ++c) cellAt(table, c, r) = EmptyCell;
  return true;
}

// Reads the rows of one table up to its end: a word holding "(" (left unread),
// the end of the text, or MaxRows rows.
bool readRows(Cursor& in, Relation& table, std::string* err) {
  int r = 0;
  while (r < MaxRows && readRow(in, table, r)) ++r;
  table.rowCount = r;
  if (r == MaxRows && rowFollows(in)) {
    *err = "table '" + std::string(table.name) + "' has more than " + std::to_string(MaxRows) +
           " rows";
    return false;
  }
  return true;
}

// Reads store.text (after its leading line feed) into the store.
bool readStoreText(std::string* err) {
  Cursor in{store.text.data(), store.text.size(), 1};
  std::string_view heading;
  if (!readWord(in, &heading)) {
    *err = "the file is empty or holds only white space";
    return false;
  }
  std::size_t names = 1 + static_cast<std::size_t>(std::count(heading.begin(), heading.end(), ','));
  if (names > MaxTables) {
    *err = "the heading names " + std::to_string(names) + " tables, more than " +
           std::to_string(MaxTables);
    return false;
  }
  store.tableCount = static_cast<std::int32_t>(names);
  storeTableNames(heading);

  // Each header line is the second line after the line on which the word
  // before it ends: the heading word, or the last word of the table before.
  for (int t = 0; t < store.tableCount; ++t) {
    Relation& table = store.tables[t];
    readLine(in);
    readLine(in);
    std::size_t headerStart = in.pos;
    std::string_view header = readLine(in);
    returnTo(in, headerStart);
    std::size_t columns =
        1 + static_cast<std::size_t>(std::count(header.begin(), header.end(), ','));
    if (columns > MaxColumns) {
      *err = "table '" + std::string(table.name) + "' has " + std::to_string(columns) +
             " columns, more than " + std::to_string(MaxColumns);
      return false;
    }
    if (!readHeader(in, table, static_cast<int>(columns))) break;
    if (!readRows(in, table, err)) return false;
    if (in.atEnd) break;
  }
  return true;
}

// "'path'", for the messages that name the file.
std::string quotedPath(const char* path) {
  return std::string(1, '\'').append(path).append(1, '\'');
}

}  // namespace

bool readInput(std::string_view input, std::string* err) {
  if (input.size() >= MaxInputBytes) {
    *err = TooLarge;
    return false;
  }
  store.text.reserve(input.size() + 1);
  store.text.assign(1, '\n').append(input);
  return readStoreText(err);
}

bool readInputFile(const char* path, std::string* err) {
  auto fail = [&](int error) {
    *err = "cannot read " + quotedPath(path) + ": " + std::strerror(error);
    return false;
  };
  // Closes the file and lets the text go: nothing read is kept after a failure.
  auto abandon = [&](int fd) {
    close(fd);
    std::string("\n").swap(store.text);
    return false;
  };
  auto tooLarge = [&](int fd) {
    *err = quotedPath(path) + ": " + TooLarge;
    return abandon(fd);
  };
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  struct stat info;
  std::size_t expected = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (static_cast<std::uint64_t>(info.st_size) >= MaxInputBytes) return tooLarge(fd);
    expected = static_cast<std::size_t>(info.st_size);
  }

  // Read straight into the store's text, behind its leading line feed. The
  // size from fstat is only a hint: pipes have none, and files can grow.
  std::string& text = store.text;
  text.assign(1, '\n');
  text.resize(1 + expected + 1);
  std::size_t used = 1;
  for (;;) {
    if (used == text.size()) text.resize(std::min<std::size_t>(2 * used, MaxInputBytes + 2));
    ssize_t n = read(fd, text.data() + used, text.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fail(errno);
      return abandon(fd);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
    if (used > MaxInputBytes) return tooLarge(fd);
  }
  close(fd);
  text.resize(used);
  if (!readStoreText(err)) {
    *err = quotedPath(path) + ": " + *err;
    return false;
  }
  return true;
}

}  // namespace tjoin
