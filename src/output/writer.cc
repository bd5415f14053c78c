#include "output/writer.h"

#include <string>

#include "store/store.h"

namespace tjoin {
namespace {

void writeLine(std::ostream& out, const std::string& line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out << std::endl;
}

}  // namespace

void writeInputTables(std::ostream& out) {
  std::string line = "join(";
  for (int i = 0; i < store.tableCount; ++i) {
    if (i > 0) line += ',';
    line += store.tables[i].name;
  }
  line += ')';
  writeLine(out, line);
  out << std::endl;
  for (int i = 0; i < store.tableCount; ++i) writeRelation(out, store.tables[i]);
}

void writeRelation(std::ostream& out, const Relation& relation) {
  // One buffer, rebuilt for every line, so a line costs no allocation once it
  // has grown to the longest.
  std::string line(relation.name);
  line += '(';
  for (int c = 0; c < relation.columnCount; ++c) {
    if (c > 0) line += ", ";
    line += relation.columns[c].name;
    line += ' ';
    line += relation.columns[c].type;
  }
  line += ')';
  writeLine(out, line);
  for (int r = 0; r < relation.rowCount; ++r) {
    line.clear();
    for (int c = 0; c < relation.columnCount; ++c) {
      if (c > 0) line += ',';
      line += cellText(cellAt(relation, c, r));
    }
    writeLine(out, line);
  }
  out << std::endl;
}

}  // namespace tjoin
