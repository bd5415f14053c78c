// A stream buffer over a file descriptor, for the output file and the console.

#ifndef TJOIN_OUTPUT_DESCRIPTOR_BUFFER_H_
#define TJOIN_OUTPUT_DESCRIPTOR_BUFFER_H_

#include <streambuf>
#include <string>

namespace tjoin {

// Collects what is written and hands it to the descriptor in one write at
// every flush (the writers flush once a line), with each line feed stored as
// the platform's line end. The first failure is kept in error() and fails the
// stream; nothing is written after it.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}
  int error() const { return error_; }  // an errno value, or 0

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  int fd_;
  int error_ = 0;
  std::string pending_;
};

}  // namespace tjoin

#endif  // TJOIN_OUTPUT_DESCRIPTOR_BUFFER_H_
