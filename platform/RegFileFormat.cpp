#include "platform/RegFileFormat.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ERegistryFileDamaged.h"
#include "platform/RegFileParser.h"
#include "platform/RegLineError.h"
#include "platform/UnicodeText.h"

namespace RegFileFormat {
namespace {

// regedit breaks a hex list once a line has reached this many characters, so that the line
// with its "\" stays within 80 columns.
constexpr std::size_t kHexWrapColumn = 77;
constexpr std::string_view kContinuationIndent = "  ";
constexpr char kHexDigits[] = "0123456789abcdef";

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
    AppendKey(out, std::string(path).append("\\").append(name), *subkey);
  }
}

}  // namespace

TRegKey Parse(std::string_view text, const std::string& fileNameForErrors) {
  const DecodedText decoded = Decode(text);
  if (decoded.error) {
    // The fault is where the text stops.
    throw ERegistryFileDamaged(
        fileNameForErrors,
        static_cast<std::size_t>(std::count(decoded.text.begin(), decoded.text.end(), '\n')) + 1, *decoded.error);
  }
  try {
    return RegFileParser(decoded.text).Run();
  } catch (const RegLineError& error) {
    throw ERegistryFileDamaged(fileNameForErrors, error.Line(), error.what());
  }
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
    AppendKey(out, std::string(rootName).append("\\").append(name), *subkey);
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
