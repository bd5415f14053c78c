// The benchmark workloads, made from a fixed seed so every run measures the
// same bytes. Each workload is a list of tables; the same tables are written as
// a tjoin input file and, for SQLite, as one CSV file per table.

#ifndef TJOIN_BENCH_WORKLOADS_H_
#define TJOIN_BENCH_WORKLOADS_H_

#include <string>
#include <vector>

namespace tjoin::bench {

struct Table {
  std::string name;
  std::vector<std::string> columns;  // "name type"
  std::vector<std::vector<std::string>> rows;
};

struct Workload {
  std::string name;  // "W1_tiny", ...
  std::vector<Table> tables;
};

// W1 tiny, W2 chain, W3 sparse, W4 product, W5 many, W6, W2's chain with
// 1000 rows a table, and W7 full, the store filled, in this order.
std::vector<Workload> makeWorkloads();

// The workload as a tjoin input file.
std::string inputText(const Workload& workload);

// One table as CSV: a header of column names, then the rows.
std::string csvText(const Table& table);

}  // namespace tjoin::bench

#endif  // TJOIN_BENCH_WORKLOADS_H_
