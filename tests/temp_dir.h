// A test's own directory under the system's temporary directory: a name no
// other run holds, so that test runs of two build trees at once never share a
// file; removed, with everything in it, when it goes out of scope.

#ifndef TJOIN_TESTS_TEMP_DIR_H_
#define TJOIN_TESTS_TEMP_DIR_H_

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tjoin {

class TempDir {
 public:
  // "tjoin-PREFIX-N", N the first free number from a random start.
  explicit TempDir(const std::string& prefix) {
    for (unsigned n = std::random_device()();; ++n) {
      path_ =
          std::filesystem::temp_directory_path() / ("tjoin-" + prefix + "-" + std::to_string(n));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tjoin

#endif  // TJOIN_TESTS_TEMP_DIR_H_
