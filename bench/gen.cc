// Writes the benchmark workloads into a directory: for each workload NAME,
// NAME.txt (tjoin's input), NAME.<table>.csv and NAME.sql, a SQLite script
// that imports the CSV files, chains NATURAL JOINs left to right and writes
// the result rows to NAME.sqlite.out.

#include <fstream>
#include <iostream>
#include <string>

#include "workloads.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: tjoin_bench_gen <directory>\n";
    return 2;
  }
  std::string dir = argv[1];
  for (const auto& workload : tjoin::bench::makeWorkloads()) {
    std::string base = dir + "/" + workload.name;
    std::ofstream(base + ".txt", std::ios::binary) << tjoin::bench::inputText(workload);
    std::string script = ".mode csv\n";
    std::string select = "SELECT * FROM ";
    for (std::size_t t = 0; t < workload.tables.size(); ++t) {
      const auto& table = workload.tables[t];
      std::string csv = base + "." + table.name + ".csv";
      std::ofstream(csv, std::ios::binary) << tjoin::bench::csvText(table);
      script += ".import '" + csv + "' " + table.name + "\n";
      select += (t > 0 ? " NATURAL JOIN " : "") + table.name;
    }
    script += ".mode list\n.separator ,\n.headers off\n.output '" + base + ".sqlite.out'\n";
    script += select + ";\n";
    std::ofstream(base + ".sql", std::ios::binary) << script;
    std::cout << workload.name << "\n";
  }
  return 0;
}
