// Decodes arbitrary bytes as a UUencoded block. The decoder must never throw (its only error
// cannot happen with padded lines) and must write exactly the bytes each line's count asks for.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "mailparser/TransferCodings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const std::string decoded = MailParser::decodeUUEncoded(block);

  std::size_t expected = 0;
  std::size_t lineStart = 0;
  for (std::size_t end = block.find("\r\n"); end != std::string_view::npos;
       end = block.find("\r\n", lineStart)) {
    if (end > lineStart) {
      expected += (static_cast<unsigned char>(block[lineStart]) - 32U) & 63U;
    }
    lineStart = end + 2;
  }
  check(decoded.size() == expected, "the output has as many bytes as the line counts ask for");
  return 0;
}
