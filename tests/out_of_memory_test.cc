// A run whose memory the system refuses: operator new is replaced in this
// binary, so that large allocations fail on demand on every platform, under
// an emulator too (where an address space limit holds for the emulator, not
// for tjoin).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "driver/run.h"
#include "store/store.h"
#include "temp_dir.h"

namespace {
// While set, every allocation of this many bytes or more fails.
std::size_t refuseFrom = 0;
}  // namespace

void* operator new(std::size_t bytes) {
  if (refuseFrom != 0 && bytes >= refuseFrom) throw std::bad_alloc();
  if (void* memory = std::malloc(bytes == 0 ? 1 : bytes)) return memory;
  throw std::bad_alloc();
}
// The nothrow form too (std::stable_sort's buffer takes it), so that every
// allocation the replaced deletes free came from malloc, under the sanitizers too.
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  if (refuseFrom != 0 && bytes >= refuseFrom) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace tjoin {
namespace {

namespace fs = std::filesystem;

TEST(OutOfMemory, ARefusedAllocationFailsTheRunAndLeavesTheOutput) {
  TempDir dir("oom");
  fs::path in = dir.path() / "in.txt", out = dir.path() / "out.txt";
  std::ofstream(in, std::ios::binary) << "join(A,B)\n\nA(x t)\n"
                                      << std::string(2 << 20, 'v') << "\n\nB(x t)\n1\n";
  std::ofstream(out, std::ios::binary) << "the old file";
  resetStore();
  refuseFrom = 1 << 20;
  int status = run(in.string().c_str(), out.string().c_str());
  refuseFrom = 0;
  EXPECT_EQ(ExitError, status);
  std::ostringstream bytes;
  bytes << std::ifstream(out, std::ios::binary).rdbuf();
  EXPECT_EQ("the old file", bytes.str());
  resetStore();
}

TEST(OutOfMemory, MemoryThatStaysRefusedIsStillOneLine) {
  // Every allocation fails, the message's own among them: a missing input's
  // error line cannot be built, and "tjoin: out of memory" is said without one.
  resetStore();
  refuseFrom = 1;
  int status = run("no/such/input.txt", "no/such/output.txt");
  refuseFrom = 0;
  EXPECT_EQ(ExitError, status);
}

}  // namespace
}  // namespace tjoin
