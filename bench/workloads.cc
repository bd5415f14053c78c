#include "workloads.h"

#include <cstdint>
#include <random>

namespace tjoin::bench {
namespace {

// std::shuffle and the distributions may differ between standard libraries;
// the engine does not, so the workloads draw from it directly.
struct Random {
  std::mt19937_64 engine{20261209};
  std::uint64_t below(std::uint64_t n) { return engine() % n; }
  std::string word() {
    std::string w(4 + below(4), 'a');
    for (char& c : w) c = static_cast<char>('a' + below(26));
    return w;
  }
  template <typename T>
  void shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
  }
};

// prefix followed by n: "k3".
std::string numbered(const std::string& prefix, int n) {
  return std::string(prefix).append(std::to_string(n));
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += separator;
    text += parts[i];
  }
  return text;
}

std::vector<int> permutation(Random& random, int n) {
  std::vector<int> values(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) values[i] = i;
  random.shuffle(values);
  return values;
}

Workload tiny() {
  return {"W1_tiny",
          {{"Item",
            {"ino int", "color string", "sno int"},
            {{"1", "red", "10"}, {"2", "blue", "20"}, {"3", "green", "10"}}},
           {"Store", {"sno int", "city string"}, {{"10", "north"}, {"30", "south"}}}}};
}

// Ten tables of 10000 rows and 5 columns; table t shares key k<t+1> with
// table t+1, each key a shuffled permutation of 0..9999.
Workload chain(Random& random, const char* name, int rows) {
  Workload workload{name, {}};
  for (int t = 0; t < 10; ++t) {
    Table table{numbered("t", t), {}, {}};
    if (t > 0) table.columns.push_back(numbered("k", t) + " int");
    if (t < 9) table.columns.push_back(numbered("k", t + 1) + " int");
    while (table.columns.size() < 5) {
      table.columns.push_back(
          numbered(numbered("c", t) + "_", static_cast<int>(table.columns.size())) + " text");
    }
    std::vector<int> left = permutation(random, rows), right = permutation(random, rows);
    for (int r = 0; r < rows; ++r) {
      std::vector<std::string> row;
      if (t > 0) row.push_back(std::to_string(left[r]));
      if (t < 9) row.push_back(std::to_string(right[r]));
      while (row.size() < 5) row.push_back(random.word());
      table.rows.push_back(row);
    }
    workload.tables.push_back(table);
  }
  return workload;
}

// Two tables of 10000 rows on one key; only 100 right keys are left keys.
Workload sparse(Random& random) {
  Table left{"l", {"id int", "a text", "b text", "c text"}, {}};
  Table right{"r", {"id int", "x text", "y text", "z text"}, {}};
  std::vector<int> keys = permutation(random, 10000);
  for (int r = 0; r < 10000; ++r) {
    left.rows.push_back({std::to_string(keys[r]), random.word(), random.word(), random.word()});
    int key = r < 100 ? static_cast<int>(random.below(10000)) : 10000 + r;
    right.rows.push_back({std::to_string(key), random.word(), random.word(), random.word()});
  }
  random.shuffle(right.rows);
  return {"W3_sparse", {left, right}};
}

// Two tables of 100 rows and 25 columns without a common column.
Workload product(Random& random) {
  Workload workload{"W4_product", {}};
  for (const char* name : {"p", "q"}) {
    Table table{name, {}, {}};
    for (int c = 0; c < 25; ++c) table.columns.push_back(numbered(name, c) + " text");
    for (int r = 0; r < 100; ++r) {
      std::vector<std::string> row;
      for (int c = 0; c < 25; ++c) row.push_back(random.word());
      table.rows.push_back(row);
    }
    workload.tables.push_back(table);
  }
  return workload;
}

// Two tables of 10000 rows joined on (a, b). The left holds 5000 keys twice
// each; the right holds 2499 of them twice each and 5002 rows that match
// nothing, so the result has 2499 x 2 x 2 = 9996 rows.
Workload many(Random& random) {
  Table left{"m", {"a int", "b int", "u text", "v text"}, {}};
  Table right{"n", {"b int", "a int", "w text"}, {}};
  auto key = [](int k) {
    return std::vector<std::string>{std::to_string(k / 100), std::to_string(k % 100)};
  };
  for (int r = 0; r < 10000; ++r) {
    std::vector<std::string> k = key(r % 5000);
    left.rows.push_back({k[0], k[1], random.word(), random.word()});
    k = r < 4998 ? key(r % 2499) : key(5000 + r);
    right.rows.push_back({k[1], k[0], random.word()});
  }
  random.shuffle(left.rows);
  random.shuffle(right.rows);
  return {"W5_many", {left, right}};
}

// The store full: ten tables of 10000 rows and 50 columns, all with the same
// 50 columns, so that every step joins on all 50. Each table holds the same
// rows, shuffled: every step is 10000 to 10000, one to one. Values are a few
// bytes, so the job is about the cells rather than their bytes.
Workload full(Random& random) {
  Table rows{"", {}, {}};
  for (int c = 0; c < 50; ++c) rows.columns.push_back(numbered("v", c) + " text");
  for (int r = 0; r < 10000; ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < 50; ++c) {
      std::string value(2 + random.below(6), 'a');
      for (char& b : value) b = static_cast<char>('a' + random.below(26));
      row.push_back(value);
    }
    rows.rows.push_back(row);
  }
  Workload workload{"W7_full", {}};
  for (int t = 0; t < 10; ++t) {
    random.shuffle(rows.rows);
    rows.name = numbered("f", t);
    workload.tables.push_back(rows);
  }
  return workload;
}

}  // namespace

std::vector<Workload> makeWorkloads() {
  Random random;
  std::vector<Workload> workloads{tiny()};
  workloads.push_back(chain(random, "W2_chain", 10000));
  workloads.push_back(sparse(random));
  workloads.push_back(product(random));
  workloads.push_back(many(random));
  // Last, so the others keep their bytes: W2's chain with a tenth of the rows.
  workloads.push_back(chain(random, "W6_chain1000", 1000));
  workloads.push_back(full(random));
  return workloads;
}

std::string inputText(const Workload& workload) {
  std::vector<std::string> names;
  for (const Table& table : workload.tables) names.push_back(table.name);
  std::string text = "join(" + joined(names, ",") + ")\n\n";
  for (const Table& table : workload.tables) {
    text += table.name + "(" + joined(table.columns, ", ") + ")\n";
    for (const auto& row : table.rows) text += joined(row, ",") + "\n";
    text += "\n";
  }
  return text;
}

std::string csvText(const Table& table) {
  std::vector<std::string> names;
  for (const std::string& column : table.columns)
    names.push_back(column.substr(0, column.find(' ')));
  std::string text = joined(names, ",") + "\n";
  for (const auto& row : table.rows) text += joined(row, ",") + "\n";
  return text;
}

}  // namespace tjoin::bench
