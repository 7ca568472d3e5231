#include "platform/RegValueReader.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "platform/RegFileText.h"
#include "platform/RegLineError.h"
#include "platform/UnicodeText.h"

namespace RegValueReader {
namespace {

using RegFileText::Trim;
using RegFileText::TrimLeft;
using RegFileText::TrimRight;

int HexValue(char c) noexcept {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  const char lower = asciiToLower(c);
  if (lower >= 'a' && lower <= 'f') {
    return lower - 'a' + 10;
  }
  return -1;
}

void ExpectEnd(std::string_view rest, std::size_t lineNumber) {
  rest = TrimLeft(rest);
  if (!rest.empty()) {
    throw RegLineError(lineNumber, "unexpected text after the value: '" + std::string(rest) + "'");
  }
}

std::uint32_t DwordDigits(std::string_view digits, std::size_t lineNumber) {
  if (digits.empty() || digits.size() > 8) {
    throw RegLineError(lineNumber, "a dword value needs 1 to 8 hexadecimal digits");
  }
  std::uint32_t number = 0;
  for (const char c : digits) {
    const int digit = HexValue(c);
    if (digit < 0) {
      throw RegLineError(lineNumber, "a dword value needs 1 to 8 hexadecimal digits");
    }
    number = (number << 4) | static_cast<std::uint32_t>(digit);
  }
  return number;
}

// A hex list as one text: its parts on each line joined, with the line each part began on,
// so that a bad byte can be reported on its own line.
class JoinedHexList {
 public:
  // `first` is the list's part on the line `lines` returned last.
  JoinedHexList(std::string_view first, RegFileLines& lines) {
    std::string_view part = TrimRight(first);
    while (true) {
      parts_.push_back({text_.size(), lines.Number()});
      const bool continues = part.ends_with('\\');
      if (continues) {
        part.remove_suffix(1);
      }
      text_ += part;
      if (!continues) {
        return;
      }
      const std::optional<std::string_view> next = lines.Next();
      if (!next) {
        throw RegLineError(lines.Number(), "the value continues past the end of the file");
      }
      part = Trim(*next);
    }
  }

  [[nodiscard]] const std::string& Text() const noexcept { return text_; }

  [[nodiscard]] std::size_t LineAt(std::size_t offset) const noexcept {
    std::size_t line = parts_.front().lineNumber;
    for (const Part& part : parts_) {
      if (part.offset <= offset) {
        line = part.lineNumber;
      }
    }
    return line;
  }

 private:
  struct Part {
    std::size_t offset;
    std::size_t lineNumber;
  };
  std::string text_;
  std::vector<Part> parts_;
};

std::vector<std::uint8_t> HexBytes(std::string_view first, RegFileLines& lines) {
  const JoinedHexList list(first, lines);
  const std::string_view text = list.Text();
  std::vector<std::uint8_t> bytes;
  if (Trim(text).empty()) {
    return bytes;
  }
  bytes.reserve(text.size() / 3 + 1);
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find(',', start);
    const bool last = end == std::string_view::npos;
    if (last) {
      end = text.size();
    }
    const std::string_view item = Trim(text.substr(start, end - start));
    const int high = item.size() == 2 ? HexValue(item[0]) : -1;
    const int low = item.size() == 2 ? HexValue(item[1]) : -1;
    if (high < 0 || low < 0) {
      throw RegLineError(list.LineAt(start), "expected two hexadecimal digits, found '" + std::string(item) + "'");
    }
    bytes.push_back(static_cast<std::uint8_t>((high << 4) | low));
    if (last) {
      return bytes;
    }
    start = end + 1;
  }
}

// The bytes of "hex(<type>):" as the value of that type; faults name the value's first line.
TRegValue TypedHexValue(std::string_view typeText, std::vector<std::uint8_t> bytes, std::size_t valueLine) {
  const std::string type = asciiLowerCase(typeText);
  TRegValue value;
  if (type == "hex(1)" || type == "hex(2)") {
    if (bytes.size() % 2 != 0) {
      throw RegLineError(valueLine, "a " + type + " value needs an even number of bytes (UTF-16 text)");
    }
    value.Type = type == "hex(1)" ? TRegDataType::rdString : TRegDataType::rdExpandString;
    value.Text = Platform::Utf16ToNarrow(Platform::TerminatedUtf16LeUnits(bytes));
  } else if (type == "hex(3)") {
    value.Type = TRegDataType::rdBinary;
    value.Binary = std::move(bytes);
  } else if (type == "hex(4)") {
    if (bytes.size() != 4) {
      throw RegLineError(valueLine, "a hex(4) value needs exactly 4 bytes");
    }
    value.Type = TRegDataType::rdInteger;
    value.Dword = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                  (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  } else {
    throw RegLineError(valueLine, "values of type '" + std::string(typeText) + "' are not supported");
  }
  return value;
}

}  // namespace

std::string QuotedString(std::string_view text, std::size_t& pos, std::size_t lineNumber) {
  std::string result;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return result;
    }
    if (c == '\\') {
      if (pos + 1 >= text.size()) {
        break;
      }
      const char escaped = text[++pos];
      if (escaped != '\\' && escaped != '"') {
        throw RegLineError(lineNumber, std::string("unknown escape '\\") + escaped + "' in a quoted string");
      }
      result += escaped;
    } else {
      result += c;
    }
  }
  throw RegLineError(lineNumber, "unterminated string");
}

TRegValue ValueData(std::string_view data, RegFileLines& lines) {
  const std::size_t valueLine = lines.Number();
  TRegValue value;
  if (data.empty()) {
    throw RegLineError(valueLine, "expected a value after '='");
  }
  if (data.front() == '-') {
    throw RegLineError(valueLine, "deleting a value ('=-') is not supported");
  }
  if (data.front() == '"') {
    std::size_t pos = 0;
    value.Type = TRegDataType::rdString;
    value.Text = QuotedString(data, pos, valueLine);
    ExpectEnd(data.substr(pos), valueLine);
    return value;
  }
  if (caseInsensitiveStartsWith(data, "dword:")) {
    value.Type = TRegDataType::rdInteger;
    value.Dword = DwordDigits(data.substr(6), valueLine);
    return value;
  }
  if (caseInsensitiveStartsWith(data, "hex:")) {
    value.Type = TRegDataType::rdBinary;
    value.Binary = HexBytes(data.substr(4), lines);
    return value;
  }
  if (caseInsensitiveStartsWith(data, "hex(")) {
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos) {
      throw RegLineError(valueLine, "expected 'hex(<type>):' before the bytes");
    }
    return TypedHexValue(data.substr(0, close + 1), HexBytes(data.substr(close + 2), lines), valueLine);
  }
  throw RegLineError(valueLine, "expected a value after '=': a quoted string, dword:, hex: or hex(<type>):");
}

}  // namespace RegValueReader
