#include "mailparser/UnicodeDecoders.h"

#include <cstdint>
#include <cstring>

namespace MailParser::UnicodeDecoders {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Writes a code point as one unit or a surrogate pair; surrogates and values above U+10FFFF
// are no characters and become U+FFFD.
char16_t* putCodePoint(char16_t* out, char32_t code) {
  if (code < 0x10000) {
    *out++ = (code >= 0xD800 && code <= 0xDFFF) ? kReplacement : static_cast<char16_t>(code);
  } else if (code <= 0x10FFFF) {
    *out++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  } else {
    *out++ = kReplacement;
  }
  return out;
}

// Text of at most `capacity` units, filled through a pointer and cut to what was written.
class Output {
 public:
  explicit Output(std::size_t capacity) { text_.resize(capacity); }
  [[nodiscard]] char16_t* begin() { return text_.data(); }
  std::u16string finish(const char16_t* end) {
    text_.resize(static_cast<std::size_t>(end - text_.data()));
    return std::move(text_);
  }

 private:
  std::u16string text_;
};

std::string_view skipMark(std::string_view bytes, std::string_view mark) {
  return bytes.substr(0, mark.size()) == mark ? bytes.substr(mark.size()) : bytes;
}

// Passes UTF-16 code units, pairing surrogates and replacing the unpaired ones.
template <typename ReadUnit>
char16_t* putUTF16(char16_t* out, std::size_t count, ReadUnit read) {
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t unit = read(i);
    if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(read(i + 1))) {
      *out++ = unit;
      *out++ = read(++i);
    } else {
      *out++ = (isHighSurrogate(unit) || isLowSurrogate(unit)) ? kReplacement : unit;
    }
  }
  return out;
}

std::u16string decodeUTF16(std::string_view bytes, bool bigEndian) {
  bytes = skipMark(bytes, bigEndian ? "\xFE\xFF" : "\xFF\xFE");
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t count = bytes.size() / 2;
  Output output(count + 1);
  char16_t* out = putUTF16(output.begin(), count, [data, bigEndian](std::size_t i) {
    const unsigned first = data[2 * i];
    const unsigned second = data[2 * i + 1];
    return static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
  });
  if (bytes.size() % 2 != 0) {
    *out++ = kReplacement;
  }
  return output.finish(out);
}

std::u16string decodeUTF32(std::string_view bytes, bool bigEndian) {
  bytes =
      skipMark(bytes, bigEndian ? std::string_view("\0\0\xFE\xFF", 4) : std::string_view("\xFF\xFE\0\0", 4));
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t count = bytes.size() / 4;
  Output output(2 * count + 1);
  char16_t* out = output.begin();
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* group = data + 4 * i;
    const char32_t value =
        bigEndian
            ? (char32_t{group[0]} << 24 | char32_t{group[1]} << 16 | char32_t{group[2]} << 8 | group[3])
            : (char32_t{group[3]} << 24 | char32_t{group[2]} << 16 | char32_t{group[1]} << 8 | group[0]);
    out = putCodePoint(out, value);
  }
  if (bytes.size() % 4 != 0) {
    *out++ = kReplacement;
  }
  return output.finish(out);
}

int base64Value(unsigned char byte) {
  if (byte >= 'A' && byte <= 'Z') return byte - 'A';
  if (byte >= 'a' && byte <= 'z') return byte - 'a' + 26;
  if (byte >= '0' && byte <= '9') return byte - '0' + 52;
  if (byte == '+') return 62;
  if (byte == '/') return 63;
  return -1;
}

}  // namespace

std::u16string decodeUTF8(std::string_view bytes, const void* /*unused*/) {
  bytes = skipMark(bytes, "\xEF\xBB\xBF");
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  Output output(size);
  char16_t* out = output.begin();
  std::size_t i = 0;
  while (i < size) {
    // Mail text is mostly ASCII: widen eight bytes at a time while none has its high bit set.
    while (i + 8 <= size) {
      std::uint64_t block;
      std::memcpy(&block, data + i, sizeof block);
      if ((block & 0x8080808080808080ULL) != 0) {
        break;
      }
      for (int k = 0; k < 8; ++k) {
        out[k] = data[i + k];
      }
      out += 8;
      i += 8;
    }
    if (i >= size) {
      break;
    }
    const unsigned char lead = data[i];
    if (lead < 0x80) {
      *out++ = lead;
      ++i;
      continue;
    }
    int needed;
    char32_t code;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      needed = 2;
      code = lead & 0x0F;
      lower = lead == 0xE0 ? 0xA0 : 0x80;  // over-long below
      upper = lead == 0xED ? 0x9F : 0xBF;  // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      needed = 3;
      code = lead & 0x07;
      lower = lead == 0xF0 ? 0x90 : 0x80;  // over-long below
      upper = lead == 0xF4 ? 0x8F : 0xBF;  // beyond U+10FFFF above
    } else {
      *out++ = kReplacement;
      ++i;
      continue;
    }
    ++i;
    bool complete = true;
    for (; needed > 0; --needed) {
      if (i >= size || data[i] < lower || data[i] > upper) {
        complete = false;  // the byte that broke the sequence, if any, starts afresh
        break;
      }
      code = code << 6 | (data[i] & 0x3F);
      lower = 0x80;
      upper = 0xBF;
      ++i;
    }
    out = complete ? putCodePoint(out, code) : (*out = kReplacement, out + 1);
  }
  return output.finish(out);
}

std::u16string decodeUTF7(std::string_view bytes, const void* /*unused*/) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  // Units as encoded, lone surrogates included; they are paired or replaced below.
  std::u16string units;
  units.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    const unsigned char byte = data[i++];
    if (byte != '+') {
      units.push_back(byte);
      continue;
    }
    if (i < size && data[i] == '-') {
      units.push_back(u'+');
      ++i;
      continue;
    }
    std::uint32_t bits = 0;
    int bitCount = 0;
    while (i < size) {
      const int value = base64Value(data[i]);
      if (value < 0) {
        if (data[i] == '-') {
          ++i;
        }
        break;
      }
      bits = (bits << 6 | static_cast<std::uint32_t>(value)) & 0x3FFFFF;
      bitCount += 6;
      ++i;
      if (bitCount >= 16) {
        bitCount -= 16;
        units.push_back(static_cast<char16_t>(bits >> bitCount));
      }
    }
  }
  const std::size_t start = !units.empty() && units.front() == 0xFEFF ? 1 : 0;
  Output output(units.size());
  const char16_t* source = units.data() + start;
  char16_t* out =
      putUTF16(output.begin(), units.size() - start, [source](std::size_t k) { return source[k]; });
  return output.finish(out);
}

std::u16string decodeUTF16LittleEndian(std::string_view bytes, const void* /*unused*/) {
  return decodeUTF16(bytes, false);
}
std::u16string decodeUTF16BigEndian(std::string_view bytes, const void* /*unused*/) {
  return decodeUTF16(bytes, true);
}
std::u16string decodeUTF32LittleEndian(std::string_view bytes, const void* /*unused*/) {
  return decodeUTF32(bytes, false);
}
std::u16string decodeUTF32BigEndian(std::string_view bytes, const void* /*unused*/) {
  return decodeUTF32(bytes, true);
}

}  // namespace MailParser::UnicodeDecoders
