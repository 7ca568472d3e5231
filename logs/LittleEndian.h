#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// The log files are little-endian on every machine; values are put together byte by byte so
// that neither the host's byte order nor a struct's padding can leak into a file.
namespace MessageLogBytes {

inline void PutInt32(std::string& out, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) {
    out[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFFU);
  }
}

inline void PutDouble(std::string& out, std::size_t offset, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  for (std::size_t i = 0; i < 8; ++i) {
    out[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFFU);
  }
}

[[nodiscard]] inline std::int32_t GetInt32(std::string_view in, std::size_t offset) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[offset + i])) << (8 * i);
  }
  return static_cast<std::int32_t>(bits);
}

[[nodiscard]] inline double GetDouble(std::string_view in, std::size_t offset) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[offset + i])) << (8 * i);
  }
  return std::bit_cast<double>(bits);
}

// A length byte and `capacity` character bytes; the bytes past the length are written as 0.
void PutShortString(std::string& out, std::size_t offset, std::size_t capacity, std::string_view text);

// The text of a length-prefixed field; a length byte above the capacity (a damaged record)
// is taken as the capacity.
[[nodiscard]] std::string GetShortString(std::string_view in, std::size_t offset, std::size_t capacity);

// `text` cut to at most `capacity` bytes, not in the middle of a UTF-8 sequence.
[[nodiscard]] std::string_view CutToCapacity(std::string_view text, std::size_t capacity);

// a + b for counts that must not wrap: stops at the largest int32.
[[nodiscard]] inline std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  if (sum > INT32_MAX) {
    return INT32_MAX;
  }
  if (sum < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<std::int32_t>(sum);
}

}  // namespace MessageLogBytes
