// Differential test: tjoin's fold against SQLite's left-to-right chain of
// NATURAL JOINs on 500 seeded random inputs.
//
// Each SQL column is named after the tjoin column's name and type, both in hex
// ("c_61_696e74" for a int), so that only columns equal in name and type join
// and case is kept (SQLite compares names without regard to case). Every table
// has a hidden row-number column of its own, rn0, rn1, ...; ordering by them
// gives the order of the fold: left row first, then right row, step by step.
// A table never repeats a column here: that is outside what SQL expresses
// (the unit tests cover it).

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "driver/run.h"
#include "input/reader.h"
#include "store/store.h"
#include "store_helpers.h"

namespace tjoin {
namespace {

struct Table {
  std::vector<std::pair<std::string, std::string>> columns;  // name, type
  std::vector<std::vector<std::string>> rows;
};

// Small pools, so that shared columns, same name with another type and no
// shared column all occur, and values match often.
const char* ColumnNames[] = {"a", "b", "c", "A", "id"};
const char* ColumnTypes[] = {"int", "text", "Int"};
const char* CellValues[] = {"", "0", "1", "2", "x", "X"};

std::vector<Table> randomTables(std::uint32_t seed) {
  std::mt19937 random(seed);
  auto below = [&](std::uint32_t n) { return static_cast<int>(random() % n); };
  std::vector<Table> tables(2 + below(9));
  for (Table& table : tables) {
    int columns = 1 + below(8);
    while (static_cast<int>(table.columns.size()) < columns) {
      std::pair<std::string, std::string> column{ColumnNames[below(5)], ColumnTypes[below(3)]};
      bool repeated = false;
      for (const auto& other : table.columns) repeated |= other == column;
      if (!repeated) table.columns.push_back(column);
    }
    int values = 2 + below(5);  // a per-table alphabet: small ones match more
    table.rows.resize(below(41));
    for (auto& row : table.rows) {
      for (int c = 0; c < columns; ++c) {
        // A one-column row with an empty cell would be an empty line, which
        // the reader skips.
        row.push_back(CellValues[columns == 1 ? 1 + below(values - 1) : below(values)]);
      }
    }
  }
  return tables;
}

std::string inputText(const std::vector<Table>& tables) {
  std::string text = "join(";
  for (std::size_t t = 0; t < tables.size(); ++t)
    text.append(t ? ",T" : "T").append(std::to_string(t));
  text += ")\n\n";
  for (std::size_t t = 0; t < tables.size(); ++t) {
    text.append("T").append(std::to_string(t)).append("(");
    for (std::size_t c = 0; c < tables[t].columns.size(); ++c) {
      if (c > 0) text += ", ";
      text += tables[t].columns[c].first + " " + tables[t].columns[c].second;
    }
    text += ")\n";
    for (const auto& row : tables[t].rows) {
      for (std::size_t c = 0; c < row.size(); ++c) text += (c ? "," : "") + row[c];
      text += "\n";
    }
    text += "\n";
  }
  return text;
}

std::string hex(const std::string& text) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

std::string sqlColumn(const std::pair<std::string, std::string>& column) {
  return "c_" + hex(column.first) + "_" + hex(column.second);
}

std::string unhex(const std::string& digits) {
  std::string out;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  }
  return out;
}

// "name type" of a SQL column named by sqlColumn.
std::string decoded(const std::string& column) {
  std::size_t split = column.find('_', 2);
  return unhex(column.substr(2, split - 2)) + " " + unhex(column.substr(split + 1));
}

class Sqlite {
 public:
  Sqlite() { sqlite3_open(":memory:", &db_); }
  ~Sqlite() { sqlite3_close(db_); }

  void exec(const std::string& sql) {
    char* message = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message))
        << sql << ": " << (message ? message : "");
  }

  // The columns of a table that stand for tjoin columns (not the row numbers).
  std::vector<std::string> columns(const std::string& table) {
    std::vector<std::string> names;
    for (const auto& row : query("SELECT * FROM " + table + " LIMIT 0", &names)) (void)row;
    std::vector<std::string> visible;
    for (const std::string& name : names) {
      if (name.rfind("c_", 0) == 0) visible.push_back(name);
    }
    return visible;
  }

  // The rows of a query, each as its cells joined by ","; *names gets the
  // column names.
  std::vector<std::string> query(const std::string& sql,
                                 std::vector<std::string>* names = nullptr) {
    sqlite3_stmt* statement = nullptr;
    std::vector<std::string> lines;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return lines;
    }
    int count = sqlite3_column_count(statement);
    for (int c = 0; names && c < count; ++c) names->push_back(sqlite3_column_name(statement, c));
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string line;
      for (int c = 0; c < count; ++c) {
        const unsigned char* text = sqlite3_column_text(statement, c);
        if (c > 0) line += ',';
        if (text) line += reinterpret_cast<const char*>(text);
      }
      lines.push_back(line);
    }
    sqlite3_finalize(statement);
    return lines;
  }

 private:
  sqlite3* db_ = nullptr;
};

// What the fold should give: {"error at step N"} when step N's result would
// not fit a Relation, else the result's "name type" columns and its rows.
std::vector<std::string> expectedFold(const std::vector<Table>& tables) {
  Sqlite db;
  for (std::size_t t = 0; t < tables.size(); ++t) {
    std::string name = std::string("t").append(std::to_string(t));
    std::string create = "CREATE TABLE " + name + " (rn" + std::to_string(t) + " INTEGER";
    for (const auto& column : tables[t].columns) create += ", " + sqlColumn(column) + " TEXT";
    db.exec(create + ")");
    for (std::size_t r = 0; r < tables[t].rows.size(); ++r) {
      std::string insert = "INSERT INTO " + name + " VALUES (" + std::to_string(r);
      for (const std::string& value : tables[t].rows[r]) insert += ", '" + value + "'";
      db.exec(insert + ")");
    }
  }
  std::string previous = "t0";
  for (std::size_t t = 1; t < tables.size(); ++t) {
    std::string step = std::string("s").append(std::to_string(t));
    db.exec("CREATE TABLE " + step + " AS SELECT * FROM " + previous + " NATURAL JOIN t" +
            std::to_string(t));
    if (db.columns(step).size() > static_cast<std::size_t>(MaxColumns) ||
        std::stoll(db.query("SELECT count(*) FROM " + step)[0]) > MaxRows) {
      return {"error at step " + std::to_string(t)};
    }
    previous = step;
  }
  std::string select, header, order;
  for (const std::string& column : db.columns(previous)) {
    select.append(select.empty() ? "" : ", ").append(column);
    header.append(header.empty() ? "" : ",").append(decoded(column));
  }
  for (std::size_t t = 0; t < tables.size(); ++t) {
    order.append(t ? ", rn" : "rn").append(std::to_string(t));
  }
  std::vector<std::string> lines{header};
  for (const std::string& row :
       db.query("SELECT " + select + " FROM " + previous + " ORDER BY " + order)) {
    lines.push_back(row);
  }
  return lines;
}

// tjoin's fold of the same input, in the same shape as expectedFold.
std::vector<std::string> tjoinFold(const std::string& input) {
  resetStore();
  std::string err;
  bool ok = false;
  printedBy([&] { ok = readInput(input, &err) && foldTables(&err); });
  if (!ok) {
    std::size_t step = err.find("fold step ");
    if (step == std::string::npos) return {err};
    return {"error at step " + err.substr(step + 10, err.find(' ', step + 10) - step - 10)};
  }
  std::vector<std::string> lines;
  std::string header;
  for (int c = 0; c < store.result.columnCount; ++c) {
    header.append(c ? "," : "")
        .append(store.result.columns[c].name)
        .append(" ")
        .append(store.result.columns[c].type);
  }
  lines.push_back(header);
  for (int r = 0; r < store.result.rowCount; ++r) {
    std::string line;
    for (int c = 0; c < store.result.columnCount; ++c) {
      line.append(c ? "," : "").append(cellText(cellAt(store.result, c, r)));
    }
    lines.push_back(line);
  }
  return lines;
}

TEST(Differential, FoldEqualsSqliteNaturalJoins) {
  int errors = 0, rows = 0;
  for (std::uint32_t seed = 1; seed <= 500; ++seed) {
    std::vector<Table> tables = randomTables(seed);
    std::string input = inputText(tables);
    std::vector<std::string> expected = expectedFold(tables);
    ASSERT_EQ(expected, tjoinFold(input)) << "seed " << seed << ", input:\n" << input;
    if (expected.size() == 1 && expected[0].rfind("error", 0) == 0)
      ++errors;
    else
      rows += static_cast<int>(expected.size()) - 1;
  }
  // The inputs must exercise both outcomes, or the comparison proves little.
  EXPECT_GT(errors, 10);
  EXPECT_GT(rows, 5000);
  std::cout << "500 inputs: " << errors << " over a capacity, " << rows << " result rows\n";
}

}  // namespace
}  // namespace tjoin
