#pragma once

// glibc's iconv(3), the oracle that the charset tables were generated from: decodes bytes to
// UTF-16 so a test can put our decoders beside it. It is part of the C library, so the tests
// need nothing new.

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace MailParserTest {

class IconvOracle {
 public:
  explicit IconvOracle(const char* charset) : descriptor_(iconv_open("UTF-16LE", charset)) {
    if (descriptor_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("glibc iconv does not know ") + charset);
    }
  }
  IconvOracle(const IconvOracle&) = delete;
  IconvOracle& operator=(const IconvOracle&) = delete;
  ~IconvOracle() { iconv_close(descriptor_); }

  // The whole decoding, or nothing when iconv refuses any part of the bytes.
  [[nodiscard]] std::optional<std::u16string> decode(std::string_view bytes) {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    std::string output(4 * bytes.size() + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(descriptor_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
        iconv(descriptor_, nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    std::u16string text((output.size() - outLeft) / 2, u'\0');
    std::memcpy(text.data(), output.data(), text.size() * 2);
    return text;
  }

 private:
  iconv_t descriptor_;
};

}  // namespace MailParserTest
