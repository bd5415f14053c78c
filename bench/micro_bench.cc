// Micro benchmarks of tjoin's stages on the benchmark workloads, so a change
// to one stage can be judged on its own: the reader on W2's input, one
// natural-join step of W2, W5 and W7, copyRelation of a full result, and the
// writers (the input tables, and the result).

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "driver/run.h"
#include "input/reader.h"
#include "ops/join.h"
#include "ops/matching.h"
#include "output/writer.h"
#include "store/store.h"
#include "workloads.h"

namespace {

// The input text of workload w (bench/workloads.cc's order: W1, W2, ...).
const std::string& workloadInput(int w) {
  static const std::vector<std::string> inputs = [] {
    std::vector<std::string> texts;
    for (const tjoin::bench::Workload& workload : tjoin::bench::makeWorkloads()) {
      texts.push_back(tjoin::bench::inputText(workload));
    }
    return texts;
  }();
  return inputs[w - 1];
}

void load(benchmark::State& state, const std::string& input) {
  tjoin::resetStore();
  std::string err;
  if (!tjoin::readInput(input, &err)) state.SkipWithError(err.c_str());
}

void BM_ReadInput(benchmark::State& state) {
  const std::string& input = workloadInput(2);
  for (auto _ : state) {
    state.PauseTiming();
    tjoin::resetStore();
    state.ResumeTiming();
    std::string err;
    benchmark::DoNotOptimize(tjoin::readInput(input, &err));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_ReadInput)->Unit(benchmark::kMillisecond);

// Joins the first two tables of workload w: W2's join 10000 rows to 10000 on
// one shuffled key; W5's on two columns, where half the left rows find no
// partner; W7's 10000 rows to 10000 on all their 50 columns.
void BM_NaturalJoinStep(benchmark::State& state, int w) {
  load(state, workloadInput(w));
  std::string err;
  tjoin::findCommonColumns(tjoin::store.tables[0], tjoin::store.tables[1], &err);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tjoin::naturalJoin(tjoin::store.tables[0], tjoin::store.tables[1], &err));
  }
  state.SetItemsProcessed(state.iterations() * tjoin::store.result.rowCount);
}
BENCHMARK_CAPTURE(BM_NaturalJoinStep, W2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NaturalJoinStep, W5, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NaturalJoinStep, W7, 7)->Unit(benchmark::kMillisecond);

// Copies a full 50 x 10000 Relation.
void BM_CopyRelation(benchmark::State& state) {
  tjoin::resetStore();
  tjoin::Relation source, destination;
  source.columnCount = tjoin::MaxColumns;
  source.rowCount = tjoin::MaxRows;
  for (int c = 0; c < tjoin::MaxColumns; ++c) {
    for (int r = 0; r < tjoin::MaxRows; ++r) tjoin::cellAt(source, c, r) = tjoin::EmptyCell;
  }
  for (auto _ : state) {
    tjoin::copyRelation(source, destination);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * tjoin::MaxColumns * tjoin::MaxRows *
                          static_cast<int64_t>(sizeof(tjoin::Cell)));
}
BENCHMARK(BM_CopyRelation)->Unit(benchmark::kMicrosecond);

// Writes W2's ten input tables to memory.
void BM_WriteInputTables(benchmark::State& state) {
  load(state, workloadInput(2));
  std::size_t bytes = 0;
  for (auto _ : state) {
    tjoin::LineOutput out;
    tjoin::writeInputTables(out);
    bytes = out.text.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteInputTables)->Unit(benchmark::kMillisecond);

// Writes W2's result (10000 rows of 41 cells) to memory.
void BM_WriteResult(benchmark::State& state) {
  load(state, workloadInput(2));
  std::string err;
  if (!tjoin::foldTables(&err)) state.SkipWithError(err.c_str());
  std::size_t bytes = 0;
  for (auto _ : state) {
    tjoin::LineOutput out;
    tjoin::writeRelation(out, tjoin::store.result);
    bytes = out.text.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteResult)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
