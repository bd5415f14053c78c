#include "output/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <streambuf>

#include "output/writer.h"
#include "store/quote.h"
#include "store/store.h"

namespace tjoin {
namespace {

// A stream buffer over a file descriptor. It collects what is written and
// hands it to the file in one write() at every flush, i.e. once a line; the
// first failure is kept in error and fails the stream.
class FileBuffer : public std::streambuf {
 public:
  explicit FileBuffer(int fd) : fd_(fd) {}
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int sync() override {
    std::size_t done = 0;
    while (done < pending_.size() && error_ == 0) {
      ssize_t n = write(fd_, pending_.data() + done, pending_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        error_ = n < 0 ? errno : EIO;
      else
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
    return error_ == 0 ? 0 : -1;
  }

 private:
  int fd_;
  int error_ = 0;
  std::string pending_;
};

}  // namespace

bool writeOutputFile(const char* path, std::string* err) {
  auto fail = [&](int error) {
    *err = "cannot write " + quoted(path) + ": " + std::strerror(error);
    return false;
  };
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (fd < 0) return fail(errno);
  FileBuffer buffer(fd);
  std::ostream out(&buffer);
  writeInputTables(out);
  writeRelation(out, store.result);
  out.flush();
  int error = buffer.error();
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return fail(error);
  return true;
}

}  // namespace tjoin
