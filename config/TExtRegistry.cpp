#include "config/TExtRegistry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ERegistryException.h"
#include "platform/UnicodeText.h"

namespace {

// 256 characters and their terminating NUL, in UTF-16 code units: the buffer the other
// programs that use this format read the value into.
constexpr std::size_t MaxWidestringUnits = 256;
constexpr std::size_t MaxWidestringBytes = (MaxWidestringUnits + 1) * 2;

constexpr char16_t ReplacementCharacter = 0xFFFD;

// Other programs write these values; a lone surrogate in them stands for no character at all
// and becomes U+FFFD, so what is read is always text that can be written back.
void ReplaceLoneSurrogates(std::u16string& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      units[i] = ReplacementCharacter;
    }
  }
}

}  // namespace

bool TExtRegistry::ReadBoolDefault(std::string_view name, bool defaultValue) const {
  return ValueExists(name) ? ReadInteger(name) != 0 : defaultValue;
}

int TExtRegistry::ReadIntegerDefault(std::string_view name, int defaultValue) const {
  return ValueExists(name) ? ReadInteger(name) : defaultValue;
}

std::string TExtRegistry::ReadStringDefault(std::string_view name, const std::string& defaultValue) const {
  return ValueExists(name) ? ReadString(name) : defaultValue;
}

std::string TExtRegistry::ReadBinaryWidestring(std::string_view name) const {
  // Raises "Failed to get data" for a missing value and "Invalid data type" for one that is
  // not binary or does not fit the buffer.
  const std::vector<std::uint8_t> bytes = ReadBinaryData(name, MaxWidestringBytes);
  // Whole code units only: a stray odd byte cannot be half a character of the text.
  std::u16string units = Platform::TerminatedUtf16LeUnits(bytes);
  ReplaceLoneSurrogates(units);
  return Platform::Utf16ToNarrow(units);
}

std::string TExtRegistry::ReadBinaryWidestringDefault(std::string_view name,
                                                      const std::string& defaultValue) const {
  return ValueExists(name) ? ReadBinaryWidestring(name) : defaultValue;
}

void TExtRegistry::WriteBinaryWidestring(std::string_view name, std::string_view value) {
  // Cutting a long text or guessing at bytes that are not UTF-8 would store something other
  // than the caller's value (and a value over the limit is one that no reader accepts), so
  // both are refused as a failed write.
  if (!Platform::IsValidUtf8(value)) {
    throw ERegistryException::SetDataFailed(name);
  }
  const std::u16string units = Platform::NarrowToUtf16(value);
  if (units.size() > MaxWidestringUnits) {
    throw ERegistryException::SetDataFailed(name);
  }
  WriteBinaryData(name, Platform::TerminatedUtf16LeBytes(units));
}
