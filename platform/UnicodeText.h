#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Conversions between narrow strings (UTF-8 by convention, but any bytes) and UTF-16 that
// lose nothing in the narrow -> UTF-16 -> narrow direction, so that settings holding stray
// 8-bit bytes survive a trip through a UTF-16 representation.
namespace Platform {

// True if `text` is well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF.
[[nodiscard]] bool IsValidUtf8(std::string_view text) noexcept;

// Every well-formed UTF-8 sequence becomes its code point (a surrogate pair above U+FFFF);
// every byte that is not part of one (always 0x80-0xFF) becomes the lone low surrogate
// U+DC00 + byte, that is U+DC80-U+DCFF.
[[nodiscard]] std::u16string NarrowToUtf16(std::string_view text);

// The inverse: surrogate pairs and other units become UTF-8; a lone U+DC80-U+DCFF becomes
// the single byte it stands for; any other lone surrogate is written as its three-byte
// form (so it is kept, though the result is then not well-formed UTF-8).
// Utf16ToNarrow(NarrowToUtf16(s)) == s for every byte string s.
[[nodiscard]] std::string Utf16ToNarrow(std::u16string_view text);

// UTF-16 as the registry and its files hold it: code units as little-endian byte pairs.
// The code units of the byte pairs; a last odd byte, half a unit, is left out (callers that
// must refuse it check the length).
[[nodiscard]] std::u16string Utf16LeUnits(std::span<const std::uint8_t> bytes);
// A stored text: the units of Utf16LeUnits without one terminating NUL unit, if there is one
// (a value written without it loses nothing).
[[nodiscard]] std::u16string TerminatedUtf16LeUnits(std::span<const std::uint8_t> bytes);
// The inverse of TerminatedUtf16LeUnits: the units as byte pairs and a terminating NUL unit.
[[nodiscard]] std::vector<std::uint8_t> TerminatedUtf16LeBytes(std::u16string_view units);

}  // namespace Platform
