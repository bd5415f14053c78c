#include "input/reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "input/byte_classes.h"
#include "input/quote.h"
#include "store/store.h"

namespace tjoin {
namespace {

// Input text quoted in a message is cut to this many bytes.
constexpr std::size_t QuotedBytes = 60;

constexpr const char* HeaderForm = "a header line reads Name(name type, name type, ...)";

// A read position in store.text. The text begins and ends with a line feed,
// so every word in it ends at white space.
struct Cursor {
  const char* text;
  std::size_t size;
  std::size_t pos;
};

// Why the text is refused: the reason, and its 1-based line (0 when the reason
// is not about one line).
struct Failure {
  std::size_t line = 0;
  std::string reason;
  bool joinHeading = true;  // the first word begins with "join("
  bool headerLine = false;  // the reason is a header line refused or missing
  // The line after the heading's, which is skipped, when it holds a word: a
  // header line written there is the likely fault behind a refused one.
  std::size_t skippedWordLine = 0;
};

std::size_t skipWhiteSpace(const Cursor& in, std::size_t pos) {
  while (pos < in.size && isWhiteSpace(in.text[pos])) ++pos;
  return pos;
}

std::size_t wordEnd(const Cursor& in, std::size_t pos) {
  while (pos < in.size && !isWhiteSpace(in.text[pos])) ++pos;
  return pos;
}

std::size_t lineEnd(const Cursor& in, std::size_t pos) {
  const void* feed = std::memchr(in.text + pos, '\n', in.size - pos);
  return feed == nullptr ? in.size
                         : static_cast<std::size_t>(static_cast<const char*>(feed) - in.text);
}

// The line feeds in [from, to): counted only for placing a header or a message.
std::size_t lineFeeds(const Cursor& in, std::size_t from, std::size_t to) {
  return static_cast<std::size_t>(std::count(in.text + from, in.text + to, '\n'));
}

// The 1-based line of the input that holds pos (the text's first line feed
// stands in front of the input).
std::size_t lineOf(const Cursor& in, std::size_t pos) { return lineFeeds(in, 1, pos) + 1; }

// The line from pos to its end, without the white space that ends it.
std::string_view restOfLine(const Cursor& in, std::size_t pos) {
  std::size_t end = lineEnd(in, pos);
  while (end > pos && isWhiteSpace(in.text[end - 1])) --end;
  return std::string_view(in.text + pos, end - pos);
}

// The line that holds pos, without the white space around it: what a
// message quotes.
std::string_view lineAround(const Cursor& in, std::size_t pos) {
  std::size_t begin = pos;
  while (begin > 0 && in.text[begin - 1] != '\n') --begin;
  while (begin < pos && isWhiteSpace(in.text[begin])) ++begin;
  return restOfLine(in, begin);
}

bool fail(Failure* failure, std::size_t line, std::string reason) {
  failure->line = line;
  failure->reason = std::move(reason);
  return false;
}

std::string tableLabel(int t) { return "table " + quoted(store.tables[t].name); }

// Block t in messages: its table, or, past the tables the heading names, the
// block that is checked but not read.
std::string blockLabel(int t) {
  return t < store.tableCount ? tableLabel(t) : "the block after the last named table";
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

// The heading as its writer likely meant it, from its line (which starts at
// start): white space taken out, up to the first ")", empty names left out.
// "join(A, B)" and "join(A,,B)" give "join(A,B)"; a line that leaves no name
// gives "".
std::string meantHeading(const Cursor& in, std::size_t start) {
  std::string line;
  for (char c : restOfLine(in, start)) {
    if (!isWhiteSpace(c)) line += c;
  }
  std::string_view names(line);
  names = names.substr(std::min<std::size_t>(5, names.size()));
  names = names.substr(0, names.find(')'));
  std::string meant;
  while (!names.empty()) {
    std::string_view name = names.substr(0, names.find(','));
    if (!name.empty()) meant.append(meant.empty() ? "" : ",").append(name);
    names.remove_prefix(std::min(name.size() + 1, names.size()));
  }
  return meant.empty() ? meant : "join(" + meant + ")";
}

// Refuses a heading that names a table with an empty name, or with a name
// holding "(" or ")" (only a name before a "," can: "join(A),B)"): written
// out under it, the table would not say which it is, or its header line would
// not read back. The heading word begins at start and ends at white space, so
// a heading written with blanks, such as "join(A, B)", names an empty table.
bool checkTableNames(const Cursor& in, std::size_t start, std::string_view heading,
                     Failure* failure) {
  const std::size_t line = lineOf(in, start);
  for (int t = 0; t < store.tableCount; ++t) {
    std::string_view name = store.tables[t].name;
    if (std::size_t paren = name.find_first_of("()"); paren != std::string_view::npos) {
      std::string held = "\"\"";
      held.insert(1, 1, name[paren]);
      std::string reason = "the heading names the table " + quoted(name, QuotedBytes);
      reason.append(", which holds ").append(held);
      return fail(failure, line,
                  reason.append(": write join(T1,T2,...) with names free of ").append(held));
    }
    if (!name.empty()) continue;
    std::string reason = "the heading names an empty table";
    if (!failure->joinHeading) return fail(failure, line, reason);
    // Words after the heading word, and no ")" in it: blanks cut the heading.
    bool blank = heading.find(')') == std::string_view::npos &&
                 restOfLine(in, start).size() > heading.size();
    std::string meant = meantHeading(in, start);
    return fail(failure, line,
                reason + ": write " +
                    (meant.empty() ? "join(T1,T2,...) naming the tables"
                                   : meant + (blank ? " with no blank" : " with no empty name")));
  }
  return true;
}

// A header line, from its first word: "Name(name type, name type, ...)".
// White space of any kind and length stands between a name and its type and
// after every ","; none stands before a "," or the ")", or around the "(".
// Names and types hold none of ",", "(" and ")". Words after the ")" are the
// table's first rows and hold neither "," nor "(".
struct Header {
  std::array<Column, MaxColumns> columns;  // the first MaxColumns of them
  int columnCount = 0;
  std::size_t end = 0;  // right behind the ")"
};

bool isNameByte(char c) { return !isWhiteSpace(c) && c != ',' && c != '(' && c != ')'; }

bool parseHeader(const Cursor& in, std::size_t pos, Header* header) {
  const std::size_t end = lineEnd(in, pos);
  auto takeName = [&] {
    std::size_t start = pos;
    while (pos < end && isNameByte(in.text[pos])) ++pos;
    return std::string_view(in.text + start, pos - start);
  };
  takeName();  // the table's own name, which is not used
  if (pos == end || in.text[pos] != '(') return false;
  ++pos;
  for (;;) {
    std::string_view name = takeName();
    if (name.empty() || pos == end || !isWhiteSpace(in.text[pos])) return false;
    while (pos < end && isWhiteSpace(in.text[pos])) ++pos;
    std::string_view type = takeName();
    if (type.empty() || pos == end) return false;
    if (header->columnCount < MaxColumns) header->columns[header->columnCount] = {name, type};
    ++header->columnCount;
    char separator = in.text[pos++];
    if (separator == ')') break;
    if (separator != ',' || pos == end || !isWhiteSpace(in.text[pos])) return false;
    while (pos < end && isWhiteSpace(in.text[pos])) ++pos;
  }
  header->end = pos;
  if (pos < end && !isWhiteSpace(in.text[pos])) return false;
  std::string_view rows(in.text + pos, end - pos);
  return rows.find_first_of(",(") == std::string_view::npos;
}

// Finds the first word of block t's header line and leaves *start there. The
// first block's header line is the second line after the heading's, whatever
// the line between holds; every later one is the next word, which must begin
// the second line after the block before ended (at lastWordEnd). Returns
// false with *start = in.size and no failure when the text holds no further
// block after the last table the heading names.
bool findHeader(const Cursor& in, int t, std::size_t lastWordEnd, std::size_t* start,
                Failure* failure) {
  auto expectedLine = [&] { return lineOf(in, lastWordEnd) + 2; };
  if (t == 0) {
    std::size_t line = lastWordEnd;
    for (int i = 0; i < 2 && line < in.size; ++i) line = lineEnd(in, line) + 1;
    line = std::min(line, in.size);
    *start = skipWhiteSpace(in, line);
    if (*start < in.size && lineFeeds(in, line, *start) > 0) {
      failure->headerLine = true;
      return fail(failure, expectedLine(),
                  tableLabel(t) +
                      ": its header line must be the second line after the heading; found an "
                      "empty line");
    }
  } else {
    *start = skipWhiteSpace(in, lastWordEnd);
  }
  if (*start == in.size) {
    if (t >= store.tableCount) return false;
    failure->headerLine = true;
    return fail(
        failure, expectedLine(),
        tableLabel(t) + " has no table block: the file ends where its header line should be");
  }
  if (t == 0 || lineFeeds(in, lastWordEnd, *start) == 2) return true;

  // A word holding "(" in the wrong place: a header line without its one
  // empty line in front, or a value that holds "(".
  std::size_t line = lineOf(in, *start);
  Header header;
  if (parseHeader(in, *start, &header)) {
    const Relation& before = store.tables[t - 1];
    failure->headerLine = true;
    return fail(failure, line,
                blockLabel(t) + ": its header line must follow the " +
                    (before.rowCount > 0 ? "last row" : "header line") + " of " +
                    tableLabel(t - 1) + " after exactly one empty line; found " +
                    quoted(lineAround(in, *start), QuotedBytes));
  }
  return fail(failure, line,
              tableLabel(t - 1) +
                  ": a value may not hold \"(\": " + quoted(lineAround(in, *start), QuotedBytes));
}

// Reads the next word as row r of table, in one pass over its bytes: value k,
// up to the next ",", goes to column k; missing values leave empty cells and
// values beyond the columns are dropped; *whole tells whether the word held a
// value for every column and no more. Returns false, storing no row and
// leaving the cursor where it was, when no word is left or the word holds a
// "(". Cells of a word that is not stored are written all the same: they lie
// at rowCount or beyond, so they are never read.
bool readRow(Cursor& in, Relation& table, int r, bool* whole) {
  const char* text = in.text;
  const std::size_t size = in.size;
  std::size_t pos = in.pos;
  while (pos < size && isWhiteSpace(text[pos])) ++pos;
  if (pos == size) return false;
  int c = 0;
  std::size_t value = pos;  // where the value under way begins
  bool paren = false;
  bool ended = false;
#if defined(__SSE2__)
  // Sixteen bytes a step while the text holds them: the word's "," bytes are
  // those before the step's first white space. Byte by byte, the branch at
  // each value's end was mispredicted as often as not: W2's reading took
  // 6.4 ms that way.
  for (; size - pos >= 16; pos += 16) {
    ByteMasks masks = byteMasks(text + pos);
    const unsigned inWord = masks.spaces == 0 ? 0xffff : (masks.spaces & (0u - masks.spaces)) - 1;
    paren = paren || (masks.parens & inWord) != 0;
    for (unsigned commas = masks.commas & inWord; commas != 0; commas &= commas - 1) {
      if (c < table.columnCount) cellAt(table, c++, r) = static_cast<Cell>(value);
      value = pos + static_cast<std::size_t>(std::countr_zero(commas)) + 1;
    }
    if (masks.spaces != 0) {
      pos += static_cast<std::size_t>(std::countr_zero(masks.spaces));
      ended = true;
      break;
    }
  }
#endif
  // The text ends with a line feed, so every word ends at white space before
  // the end and the scan needs no bound.
  for (; !ended; ++pos) {
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
  if (paren) return false;
  in.pos = pos;
  // Every "," but the last value's own went to a column: no value is missing
  // and none dropped.
  *whole = c == table.columnCount - 1;
  if (c < table.columnCount) {
    cellAt(table, c, r) = static_cast<Cell>(value);
    for (++c; c < table.columnCount; ++c) cellAt(table, c, r) = EmptyCell;
  }
  return true;
}

// Whether a word follows that would be a row: one without "(".
bool rowFollows(const Cursor& in) {
  std::size_t start = skipWhiteSpace(in, in.pos);
  std::size_t end = wordEnd(in, start);
  return start < end && std::memchr(in.text + start, '(', end - start) == nullptr;
}

// Reads the rows of table t, up to the next word holding "(" (left unread) or
// the end of the text.
bool readRows(Cursor& in, int t, Failure* failure) {
  Relation& table = store.tables[t];
  int r = 0;
  // PageRows cells of a column take 4 KiB, a page's worth. Once a table has
  // filled its first PageRows rows, each column's cells for the next PageRows
  // rows are prefaulted in one call before the rows that fill them are read,
  // rather than by a page fault as each page is first written; a table that
  // ends early has at most a page's worth a column prefaulted for nothing, and
  // a small table is left to its page faults. W7's run (500 pages a table)
  // took 7% more CPU time with the faults, W2's and W3's 4% and 7% more
  // (medians of 25 interleaved runs); prefaulting half the rows so far in a
  // call once beyond PageRows gained less than the noise.
  constexpr int PageRows = 1024;
  // Whether the rows so far stand in the text as their lines: each holds a
  // value for every column, a line feed follows it and the next row begins
  // right behind that.
  bool asLines = true;
  for (bool more = true; more && r < MaxRows;) {
    int rows = std::min(PageRows, MaxRows - r);
    for (int c = 0; r > 0 && c < table.columnCount; ++c) prefaultCells(table, c, r, rows);
    for (int end = r + rows; r < end; ++r) {
      const std::size_t before = in.pos;
      bool whole = false;
      if (!(more = readRow(in, table, r, &whole))) break;
      asLines = asLines && whole && in.text[in.pos] == '\n' &&
                (r == 0 || cellAt(table, 0, r) == before + 1);
    }
  }
  table.rowCount = r;
  store.rowsInText[t] = {};
  if (asLines && r > 0) {
    const std::size_t first = cellAt(table, 0, 0);
    store.rowsInText[t] = std::string_view(in.text + first, in.pos + 1 - first);
  }
  if (r == MaxRows && rowFollows(in)) {
    return fail(failure, lineOf(in, skipWhiteSpace(in, in.pos)),
                tableLabel(t) + " has more than " + std::to_string(MaxRows) + " rows");
  }
  return true;
}

// Parses block t's header line, which begins at start, into *header; fails
// naming the line when it is not in the format.
bool readHeaderLine(const Cursor& in, int t, std::size_t start, Header* header, Failure* failure) {
  if (parseHeader(in, start, header)) return true;
  failure->headerLine = true;
  return fail(
      failure, lineOf(in, start),
      blockLabel(t) + ": " + HeaderForm + "; found " + quoted(lineAround(in, start), QuotedBytes));
}

bool readTables(Cursor& in, Failure* failure) {
  std::size_t start = skipWhiteSpace(in, in.pos);
  if (start == in.size) return fail(failure, 0, "the file is empty or holds only white space");
  std::string_view heading(in.text + start, wordEnd(in, start) - start);
  failure->joinHeading = heading.starts_with("join(");
  std::size_t names = 1 + static_cast<std::size_t>(std::count(heading.begin(), heading.end(), ','));
  if (names > MaxTables) {
    return fail(failure, lineOf(in, start),
                "the heading names " + std::to_string(names) + " tables, more than " +
                    std::to_string(MaxTables));
  }
  store.tableCount = static_cast<std::int32_t>(names);
  storeTableNames(heading);
  if (!checkTableNames(in, start, heading, failure)) return false;
  const std::size_t skipped = std::min(lineEnd(in, start) + 1, in.size);
  const std::size_t word = skipWhiteSpace(in, skipped);
  if (word < in.size && lineFeeds(in, skipped, word) == 0) {
    failure->skippedWordLine = lineOf(in, skipped);
  }

  std::size_t lastWordEnd = start + heading.size();
  for (int t = 0; t < store.tableCount; ++t) {
    Relation& table = store.tables[t];
    Header header;
    if (!findHeader(in, t, lastWordEnd, &start, failure) ||
        !readHeaderLine(in, t, start, &header, failure)) {
      return false;
    }
    if (header.columnCount > MaxColumns) {
      return fail(failure, lineOf(in, start),
                  tableLabel(t) + " has " + std::to_string(header.columnCount) +
                      " columns, more than " + std::to_string(MaxColumns));
    }
    std::copy_n(header.columns.begin(), header.columnCount, table.columns.begin());
    table.columnCount = header.columnCount;
    for (int c = 0; c < table.columnCount; ++c) {
      table.columns[c].originTable = static_cast<std::int16_t>(t);
      table.columns[c].originColumn = static_cast<std::int16_t>(c);
    }
    in.pos = header.end;
    if (!readRows(in, t, failure)) return false;
    lastWordEnd = in.pos;
  }

  // A block after the last named one is not read, but it must begin on the
  // right line with a header line in the format.
  Header header;
  if (!findHeader(in, store.tableCount, lastWordEnd, &start, failure)) {
    return failure->reason.empty();
  }
  return readHeaderLine(in, store.tableCount, start, &header, failure);
}

}  // namespace

std::string inputTooLarge(std::string_view what, std::uint64_t bytes, bool exact) {
  std::string most = std::to_string(MaxInputBytes);
  return std::string(what) + " is " + (exact ? std::to_string(bytes) : "more than " + most) +
         " bytes; tjoin reads files of at most " + most + " bytes";
}

bool readInput(std::string_view input, std::string* err) {
  if (input.size() > MaxInputBytes) {
    *err = inputTooLarge("the input", input.size(), true);
    return false;
  }
  store.text.reserve(input.size() + 2);
  store.text.assign(1, '\n').append(input).append(1, '\n');
  return readStoreText("", err);
}

bool readStoreText(std::string_view file, std::string* err) {
  // A UTF-8 byte order mark, as editors on Windows write, stands in front of
  // the heading; it is no part of it.
  const bool mark = std::string_view(store.text).substr(1, 3) == "\xEF\xBB\xBF";
  Cursor in{store.text.data(), store.text.size(), mark ? 4u : 1u};
  Failure failure;
  if (readTables(in, &failure)) return true;
  // "in.txt:3: reason", the place as compilers write it, so that editors can
  // go there; the name is not quoted, which would hide the place from them.
  std::string line = std::to_string(failure.line);
  if (failure.line == 0) {
    *err = file.empty() ? failure.reason : quoted(file) + ": " + failure.reason;
  } else {
    *err = (file.empty() ? "line " + line : escaped(file) + ":" + line) + ": " + failure.reason;
  }
  if (failure.headerLine && failure.skippedWordLine > 0) {
    *err += " (line " + std::to_string(failure.skippedWordLine) +
            ", after the heading, is skipped whatever it holds)";
  }
  if (!failure.joinHeading) {
    *err +=
        "; the file must begin with the heading join(T1,T2,...), an empty line, then the tables";
  }
  return false;
}

}  // namespace tjoin
