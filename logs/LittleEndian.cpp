#include "logs/LittleEndian.h"

#include <algorithm>

namespace MessageLogBytes {

std::string_view CutToCapacity(std::string_view text, std::size_t capacity) {
  if (text.size() <= capacity) {
    return text;
  }
  // text[capacity] is the first byte dropped; when it continues a UTF-8 sequence, the cut
  // goes back to that sequence's lead byte. Text that is not UTF-8 (no lead byte within a
  // sequence's reach) is cut at the capacity.
  const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; };
  std::size_t back = capacity;
  for (int steps = 0; steps < 3 && back > 0 && isContinuation(text[back]); ++steps) {
    --back;
  }
  if (back < capacity && static_cast<unsigned char>(text[back]) >= 0xC0U) {
    return text.substr(0, back);
  }
  return text.substr(0, capacity);
}

void PutShortString(std::string& out, std::size_t offset, std::size_t capacity, std::string_view text) {
  const std::string_view kept = CutToCapacity(text, capacity);
  out[offset] = static_cast<char>(kept.size());
  std::copy(kept.begin(), kept.end(), out.begin() + static_cast<std::ptrdiff_t>(offset + 1));
  std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(offset + 1 + kept.size()), capacity - kept.size(),
              '\0');
}

std::string GetShortString(std::string_view in, std::size_t offset, std::size_t capacity) {
  const std::size_t length = std::min<std::size_t>(static_cast<unsigned char>(in[offset]), capacity);
  return std::string(in.substr(offset + 1, length));
}

}  // namespace MessageLogBytes
