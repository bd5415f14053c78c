#include "output/output_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace tjoin {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A new directory of this test's own in the temporary directory.
fs::path freshDirectory() {
  for (unsigned n = std::random_device()();; ++n) {
    fs::path dir = fs::temp_directory_path() / ("tjoin-output-" + std::to_string(n));
    if (fs::create_directory(dir)) return dir;
  }
}

TEST(OutputFile, AWriteThatFailsMidwayLeavesTheOldFileAndNoNewOne) {
  fs::path dir = freshDirectory();
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

TEST(OutputFile, AnAllocationThatFailsMidwayLeavesTheOldFileAndNoNewOne) {
  fs::path dir = freshDirectory();
  std::ofstream(dir / "out.txt", std::ios::binary) << "the old file";
  std::ofstream(dir / "linked.txt", std::ios::binary) << "the old file";
  fs::create_hard_link(dir / "linked.txt", dir / "link.txt");
  OutputContent failsMidway = [](LineOutput& out) {
    writeLines(out, "join(A,B)\n\n");
    throw std::bad_alloc();
  };
  // Replaced, created, and written in place.
  for (const char* name : {"out.txt", "new.txt", "linked.txt"}) {
    SCOPED_TRACE(name);
    std::string path = (dir / name).string(), err;
    EXPECT_THROW(writeOutputFile(path.c_str(), &err, failsMidway), std::bad_alloc);
  }
  EXPECT_EQ("the old file", readFile(dir / "out.txt"));
  EXPECT_EQ("the old file", readFile(dir / "linked.txt"));
  EXPECT_EQ(3, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  fs::remove_all(dir);
}

#ifndef _WIN32
TEST(OutputFile, NeverTakesAClosedStandardDescriptor) {
  // With standard error closed (tjoin 2>&-), a file opened for the output
  // would take descriptor 2, and an error message would land in it.
  static int outputFd = -1;
  OutputContent recordFd = [](LineOutput& out) { outputFd = out.fd; };
  fs::path dir = freshDirectory();
  std::string path = (dir / "out.txt").string();
  pid_t child = fork();
  if (child == 0) {
    close(2);
    guardStandardStreams();
    std::string err;
    bool written = writeOutputFile(path.c_str(), &err, recordFd);
    _exit(written && outputFd > 2 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  fs::remove_all(dir);
}
#endif

}  // namespace
}  // namespace tjoin
