#include "output/descriptor_buffer.h"

#include <cerrno>
#include <string_view>

#include "platform/platform.h"

namespace tjoin {

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char byte = traits_type::to_char_type(c);
  xsputn(&byte, 1);
  return c;
}

std::streamsize DescriptorBuffer::xsputn(const char* s, std::streamsize n) {
  std::string_view bytes(s, static_cast<std::size_t>(n));
  if (LineEnd.size() == 1) {
    pending_.append(bytes);
    return n;
  }
  for (std::size_t feed; (feed = bytes.find('\n')) != std::string_view::npos;) {
    pending_.append(bytes.substr(0, feed)).append(LineEnd);
    bytes.remove_prefix(feed + 1);
  }
  pending_.append(bytes);
  return n;
}

int DescriptorBuffer::sync() {
  std::size_t done = 0;
  while (done < pending_.size() && error_ == 0) {
    std::ptrdiff_t n = writeSome(fd_, pending_.data() + done, pending_.size() - done);
    if (n <= 0)
      error_ = n < 0 ? errno : EIO;
    else
      done += static_cast<std::size_t>(n);
  }
  pending_.clear();
  return error_ == 0 ? 0 : -1;
}

}  // namespace tjoin
