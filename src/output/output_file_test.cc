#include "output/output_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace tjoin {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(OutputFile, AWriteThatFailsMidwayLeavesTheOldFileAndNoNewOne) {
  fs::path dir;
  for (unsigned n = std::random_device()();; ++n) {
    dir = fs::temp_directory_path() / ("tjoin-output-" + std::to_string(n));
    if (fs::create_directory(dir)) break;
  }
  std::ofstream(dir / "out.txt", std::ios::binary) << "the old file";
  // Half the output reaches the file, then a write fails.
  OutputContent failsMidway = [](LineOutput& out) {
    writeLines(out, "join(A,B)\n\n");
    out.error = EIO;
  };
  for (const char* name : {"out.txt", "new.txt"}) {
    SCOPED_TRACE(name);
    std::string path = (dir / name).string(), err;
    EXPECT_FALSE(writeOutputFile(path.c_str(), &err, failsMidway));
    EXPECT_NE(std::string::npos, err.find(std::string(name) + "': ")) << err;
  }
  EXPECT_EQ("the old file", readFile(dir / "out.txt"));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tjoin
