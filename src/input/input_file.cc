#include "input/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "input/quote.h"
#include "input/reader.h"
#include "platform/platform.h"
#include "store/store.h"

namespace tjoin {

namespace {

// The input's descriptor, closed however reading ends: also when the memory
// for the text is refused and the run unwinds to the driver.
struct InputFile {
  int fd;
  ~InputFile() {
    if (fd >= 0) closeFile(fd);
  }
};

}  // namespace

bool readInputFile(const char* path, std::string* err) {
  auto fail = [&](int error) {
    *err = "cannot read " + quoted(path) + ": " + std::strerror(error);
    return false;
  };
  // Lets the text go: nothing read is kept after a failure.
  auto abandon = [&] {
    std::string("\n").swap(store.text);
    return false;
  };
  auto tooLarge = [&](std::uint64_t bytes, bool exact) {
    *err = quoted(path) + ": " + inputTooLarge("the file", bytes, exact);
    return abandon();
  };
  InputFile input{openInput(path)};
  const int fd = input.fd;
  if (fd < 0) return fail(errno);
  std::uint64_t size = 0;
  if (regularFileSize(fd, &size) && size > MaxInputBytes) return tooLarge(size, true);

  // Read straight into the store's text, behind its leading line feed. The
  // file's size is only a hint: pipes have none, and files can grow. Sizes
  // are counted in 64 bits: on a 32-bit system the text's room for the
  // largest input and its two line feeds is more than a size_t holds.
  std::string& text = store.text;
  // One byte more than the largest input, to see that a pipe gives more.
  const std::uint64_t most = std::min<std::uint64_t>(1 + MaxInputBytes + 1, text.max_size());
  auto resize = [&](std::uint64_t bytes) {
    text.resize(static_cast<std::size_t>(std::min(bytes, most)));
  };
  text.reserve(static_cast<std::size_t>(std::min(size + 2, most)));
  prefaultPages(text.data(), text.capacity());
  text.assign(1, '\n');
  resize(size + 2);
  std::size_t used = 1;
  for (;;) {
    if (used == text.size()) {
      resize(2 * std::uint64_t{used});
      if (used == text.size()) {  // more than a string holds here
        fail(ENOMEM);
        return abandon();
      }
    }
    std::ptrdiff_t n = readSome(fd, text.data() + used, text.size() - used);
    if (n < 0) {
      fail(errno);
      return abandon();
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
    if (used - 1 > MaxInputBytes) return tooLarge(used - 1, false);
  }
  text.resize(used);
  text += '\n';
  return readStoreText(path, err);
}

}  // namespace tjoin
