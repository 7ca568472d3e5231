#include "platform/RegFileFormat.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "platform/ERegistryFileDamaged.h"
#include "platform/UnicodeText.h"

namespace RegFileFormat {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kTrailingBlanks = " \t\r";
// regedit breaks a hex list once a line has reached this many characters, so that the line
// with its "\" stays within 80 columns.
constexpr std::size_t kHexWrapColumn = 77;
constexpr std::string_view kContinuationIndent = "  ";
constexpr char kHexDigits[] = "0123456789abcdef";

std::string_view TrimLeft(std::string_view text) {
  const std::size_t start = text.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

std::string_view TrimRight(std::string_view text) {
  const std::size_t end = text.find_last_not_of(kTrailingBlanks);
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

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

// ---- Reading -------------------------------------------------------------------------------

// The file's bytes as narrow text: byte-order marks removed, UTF-16LE converted.
struct DecodedText {
  std::string text;
  std::optional<std::string> error;  // what was wrong, reported on the text's last line
};

DecodedText Decode(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    const std::string_view units = bytes.substr(2);
    const std::u16string wide =
        Platform::Utf16LeUnits({reinterpret_cast<const std::uint8_t*>(units.data()), units.size()});
    DecodedText result{Platform::Utf16ToNarrow(wide), std::nullopt};
    if (units.size() % 2 != 0) {
      result.error = "the UTF-16 text ends in the middle of a character";
    }
    return result;
  }
  if (bytes.starts_with("\xFE\xFF")) {
    return {std::string(), "the file is UTF-16 big-endian; only UTF-8 and UTF-16 little-endian are read"};
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
  }
  return {std::string(bytes), std::nullopt};
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class Parser {
 public:
  Parser(std::string_view text, const std::string& fileName)
      : lines_(SplitLines(text)), fileName_(fileName) {}

  TRegKey Run() {
    if (lines_.empty()) {
      Fail(1, "the file is empty; expected '" + std::string(kHeader) + "'");
    }
    if (TrimRight(lines_[0]) != kHeader) {
      Fail(1, "expected '" + std::string(kHeader) + "'");
    }
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      const std::string_view line = TrimRight(TrimLeft(lines_[index_]));
      if (line.empty() || line.front() == ';') {
        continue;
      }
      if (line.front() == '[') {
        KeyLine(line);
      } else if (line.front() == '"' || line.front() == '@') {
        ValueLine(line);
      } else {
        Fail(LineNumber(), "expected a key line, a value line, a comment or a blank line");
      }
    }
    return std::move(root_);
  }

  [[noreturn]] void Fail(std::size_t lineNumber, const std::string& what) const {
    throw ERegistryFileDamaged(fileName_, lineNumber, what);
  }

 private:
  [[nodiscard]] std::size_t LineNumber() const noexcept { return index_ + 1; }

  void KeyLine(std::string_view line) {
    if (line.size() < 2 || line.back() != ']') {
      Fail(LineNumber(), "a key line must end with ']'");
    }
    const std::string_view inner = line.substr(1, line.size() - 2);
    if (inner.starts_with('-')) {
      Fail(LineNumber(), "deleting a key ('[-...]') is not supported");
    }
    const std::size_t separator = inner.find('\\');
    const std::string_view rootName = inner.substr(0, separator);
    if (!caseInsensitiveEquals(rootName, kRootName)) {
      Fail(LineNumber(), "the key '" + std::string(inner) + "' is not under " + std::string(kRootName));
    }
    TRegKey* key = &root_;
    if (separator != std::string_view::npos) {
      std::string_view rest = inner.substr(separator + 1);
      std::size_t depth = 0;
      while (true) {
        const std::size_t next = rest.find('\\');
        const std::string_view name = rest.substr(0, next);
        if (name.empty()) {
          Fail(LineNumber(), "empty key name in '" + std::string(inner) + "'");
        }
        if (++depth > kMaxKeyDepth) {
          Fail(LineNumber(), "the key is nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
        }
        key = &key->AddSubkey(name);
        if (next == std::string_view::npos) {
          break;
        }
        rest.remove_prefix(next + 1);
      }
    }
    currentKey_ = key;
  }

  // Reads a quoted string starting at text[pos] == '"'; leaves pos after the closing quote.
  std::string QuotedString(std::string_view text, std::size_t& pos) {
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
          Fail(LineNumber(), std::string("unknown escape '\\") + escaped + "' in a quoted string");
        }
        result += escaped;
      } else {
        result += c;
      }
    }
    Fail(LineNumber(), "unterminated string");
  }

  void ValueLine(std::string_view line) {
    if (currentKey_ == nullptr) {
      Fail(LineNumber(), "a value before the first key line");
    }
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
      pos = 1;
    } else {
      name = QuotedString(line, pos);
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (!rest.starts_with('=')) {
      Fail(LineNumber(), "expected '=' after the value name");
    }
    rest = TrimLeft(rest.substr(1));
    // The key pointer stays valid: reading the value adds no keys.
    TRegKey* key = currentKey_;
    key->SetValue(name, ValueData(rest));
  }

  void ExpectEnd(std::string_view rest) {
    rest = TrimLeft(rest);
    if (!rest.empty()) {
      Fail(LineNumber(), "unexpected text after the value: '" + std::string(rest) + "'");
    }
  }

  TRegValue ValueData(std::string_view data) {
    TRegValue value;
    if (data.empty()) {
      Fail(LineNumber(), "expected a value after '='");
    }
    if (data.front() == '-') {
      Fail(LineNumber(), "deleting a value ('=-') is not supported");
    }
    if (data.front() == '"') {
      std::size_t pos = 0;
      value.Type = TRegDataType::rdString;
      value.Text = QuotedString(data, pos);
      ExpectEnd(data.substr(pos));
      return value;
    }
    if (caseInsensitiveStartsWith(data, "dword:")) {
      const std::string_view digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) {
        Fail(LineNumber(), "a dword value needs 1 to 8 hexadecimal digits");
      }
      std::uint32_t number = 0;
      for (const char c : digits) {
        const int digit = HexValue(c);
        if (digit < 0) {
          Fail(LineNumber(), "a dword value needs 1 to 8 hexadecimal digits");
        }
        number = (number << 4) | static_cast<std::uint32_t>(digit);
      }
      value.Type = TRegDataType::rdInteger;
      value.Dword = number;
      return value;
    }
    if (caseInsensitiveStartsWith(data, "hex:")) {
      value.Type = TRegDataType::rdBinary;
      value.Binary = HexBytes(data.substr(4));
      return value;
    }
    if (caseInsensitiveStartsWith(data, "hex(")) {
      const std::size_t close = data.find("):");
      if (close == std::string_view::npos) {
        Fail(LineNumber(), "expected 'hex(<type>):' before the bytes");
      }
      const std::string_view typeText = data.substr(0, close + 1);
      const std::size_t valueLine = LineNumber();
      std::vector<std::uint8_t> bytes = HexBytes(data.substr(close + 2));
      return TypedHexValue(typeText, std::move(bytes), valueLine);
    }
    Fail(LineNumber(), "expected a value after '=': a quoted string, dword:, hex: or hex(<type>):");
  }

  TRegValue TypedHexValue(std::string_view typeText, std::vector<std::uint8_t> bytes, std::size_t valueLine) {
    const std::string type = asciiLowerCase(typeText);
    TRegValue value;
    if (type == "hex(1)" || type == "hex(2)") {
      if (bytes.size() % 2 != 0) {
        Fail(valueLine, "a " + type + " value needs an even number of bytes (UTF-16 text)");
      }
      value.Type = type == "hex(1)" ? TRegDataType::rdString : TRegDataType::rdExpandString;
      value.Text = Platform::Utf16ToNarrow(Platform::TerminatedUtf16LeUnits(bytes));
    } else if (type == "hex(3)") {
      value.Type = TRegDataType::rdBinary;
      value.Binary = std::move(bytes);
    } else if (type == "hex(4)") {
      if (bytes.size() != 4) {
        Fail(valueLine, "a hex(4) value needs exactly 4 bytes");
      }
      value.Type = TRegDataType::rdInteger;
      value.Dword = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                    (static_cast<std::uint32_t>(bytes[2]) << 16) |
                    (static_cast<std::uint32_t>(bytes[3]) << 24);
    } else {
      Fail(valueLine, "values of type '" + std::string(typeText) + "' are not supported");
    }
    return value;
  }

  // The comma-separated bytes of a hex list, following "\" continuations onto later lines
  // (index_ is left on the last line used). Errors name the line of the bad byte.
  std::vector<std::uint8_t> HexBytes(std::string_view firstSegment) {
    struct Segment {
      std::size_t offset;
      std::size_t lineNumber;
    };
    std::string joined;
    std::vector<Segment> segments;
    std::string_view segment = TrimRight(firstSegment);
    while (true) {
      segments.push_back({joined.size(), LineNumber()});
      const bool continues = segment.ends_with('\\');
      if (continues) {
        segment.remove_suffix(1);
      }
      joined += segment;
      if (!continues) {
        break;
      }
      if (index_ + 1 >= lines_.size()) {
        Fail(LineNumber(), "the value continues past the end of the file");
      }
      ++index_;
      segment = TrimRight(TrimLeft(lines_[index_]));
    }
    auto lineAt = [&segments](std::size_t offset) {
      std::size_t line = segments.front().lineNumber;
      for (const Segment& s : segments) {
        if (s.offset <= offset) {
          line = s.lineNumber;
        }
      }
      return line;
    };

    std::vector<std::uint8_t> bytes;
    if (TrimRight(TrimLeft(joined)).empty()) {
      return bytes;
    }
    bytes.reserve(joined.size() / 3 + 1);
    std::size_t start = 0;
    while (true) {
      std::size_t end = joined.find(',', start);
      const bool last = end == std::string::npos;
      if (last) {
        end = joined.size();
      }
      const std::string_view item = TrimRight(TrimLeft(std::string_view(joined).substr(start, end - start)));
      const int high = item.size() == 2 ? HexValue(item[0]) : -1;
      const int low = item.size() == 2 ? HexValue(item[1]) : -1;
      if (high < 0 || low < 0) {
        Fail(lineAt(start), "expected two hexadecimal digits, found '" + std::string(item) + "'");
      }
      bytes.push_back(static_cast<std::uint8_t>((high << 4) | low));
      if (last) {
        break;
      }
      start = end + 1;
    }
    return bytes;
  }

  std::vector<std::string_view> lines_;
  const std::string& fileName_;
  std::size_t index_ = 0;
  TRegKey root_;
  TRegKey* currentKey_ = nullptr;
};

// ---- Writing -------------------------------------------------------------------------------

bool NeedsHexText(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
      return true;
    }
  }
  return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
    }
    out += c;
  }
  out += '"';
}

void AppendHexList(std::string& out, std::string line, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    line += kHexDigits[bytes[i] >> 4];
    line += kHexDigits[bytes[i] & 0x0F];
    if (i + 1 < bytes.size()) {
      line += ',';
      if (line.size() >= kHexWrapColumn) {
        out += line;
        out += "\\\n";
        line = kContinuationIndent;
      }
    }
  }
  out += line;
  out += '\n';
}

std::vector<std::uint8_t> Utf16LeWithTerminator(std::string_view text) {
  return Platform::TerminatedUtf16LeBytes(Platform::NarrowToUtf16(text));
}

void AppendValue(std::string& out, const std::string& name, const TRegValue& value) {
  std::string prefix;
  if (name.empty()) {
    prefix = "@";
  } else {
    AppendQuoted(prefix, name);
  }
  prefix += '=';
  switch (value.Type) {
    case TRegDataType::rdString:
      if (NeedsHexText(value.Text)) {
        AppendHexList(out, prefix + "hex(1):", Utf16LeWithTerminator(value.Text));
      } else {
        out += prefix;
        AppendQuoted(out, value.Text);
        out += '\n';
      }
      break;
    case TRegDataType::rdExpandString:
      AppendHexList(out, prefix + "hex(2):", Utf16LeWithTerminator(value.Text));
      break;
    case TRegDataType::rdInteger: {
      out += prefix;
      out += "dword:";
      for (int shift = 28; shift >= 0; shift -= 4) {
        out += kHexDigits[(value.Dword >> shift) & 0x0F];
      }
      out += '\n';
      break;
    }
    case TRegDataType::rdBinary:
      AppendHexList(out, prefix + "hex:", value.Binary);
      break;
    case TRegDataType::rdUnknown:
      break;  // never stored
  }
}

void AppendKey(std::string& out, const std::string& path, const TRegKey& key) {
  out += '[';
  out += path;
  out += "]\n";
  for (const auto& [name, value] : key.Values()) {
    AppendValue(out, name, value);
  }
  out += '\n';
  for (const auto& [name, subkey] : key.Subkeys()) {
    AppendKey(out, path + "\\" + name, *subkey);
  }
}

}  // namespace

TRegKey Parse(std::string_view text, const std::string& fileNameForErrors) {
  const DecodedText decoded = Decode(text);
  Parser parser(decoded.text, fileNameForErrors);
  if (decoded.error) {
    // The fault is where the text stops.
    parser.Fail(static_cast<std::size_t>(std::count(decoded.text.begin(), decoded.text.end(), '\n')) + 1,
                *decoded.error);
  }
  return parser.Run();
}

std::string Format(const TRegKey& root) {
  std::string out(kHeader);
  out += "\n\n";
  const std::string rootName(kRootName);
  if (!root.Values().empty()) {
    out += '[' + rootName + "]\n";
    for (const auto& [name, value] : root.Values()) {
      AppendValue(out, name, value);
    }
    out += '\n';
  }
  for (const auto& [name, subkey] : root.Subkeys()) {
    AppendKey(out, rootName + "\\" + name, *subkey);
  }
  return out;
}

std::string_view KeyNameProblem(std::string_view name) noexcept {
  if (name.empty()) {
    return "a key name cannot be empty";
  }
  if (name.find('\\') != std::string_view::npos) {
    return "a key name cannot contain '\\' (it would name a key inside another)";
  }
  if (name.find('\n') != std::string_view::npos) {
    return "a key name cannot contain a line break";
  }
  return {};
}

bool IsStorableKeyName(std::string_view name) noexcept {
  return KeyNameProblem(name).empty();
}

bool IsStorableValueName(std::string_view name) noexcept {
  return name.find('\n') == std::string_view::npos;
}

}  // namespace RegFileFormat
