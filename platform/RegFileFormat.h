#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/TRegKey.h"

// The settings file: the registry-editor export format, as pure functions over a text and
// the HKEY_CURRENT_USER tree, so that tests and fuzzers need no files.
//
// Writing (Format) gives UTF-8 without BOM with LF line ends:
//   Windows Registry Editor Version 5.00
//   <blank line>
//   [HKEY_CURRENT_USER\Software]            one block per key, also empty ones, parents before
//   "Name"="text"                           children, subkeys in enumeration order, depth first;
//   <blank line>                            each block ends with one blank line
// The root itself gets a block "[HKEY_CURRENT_USER]" only when it holds values. In a block
// the default value ("@") comes first, then the others in enumeration order. Names are
// written as their bytes, with "\" and '"' escaped by a backslash in value names.
//   REG_SZ         "Name"="text": "\" and '"' escaped by a backslash, every other byte raw,
//                  UTF-8 or not. A text holding a control character (a byte below 0x20
//                  other than TAB: CR, LF, NUL, ...) cannot stay on one line and is written
//                  as hex(1): its UTF-16LE code units and a terminating NUL unit.
//   REG_EXPAND_SZ  hex(2): UTF-16LE code units and a terminating NUL unit.
//   REG_DWORD      dword:0000006e (eight lower-case hex digits).
//   REG_BINARY     hex:61,00,62,00 (two lower-case hex digits per byte).
// In hex(1) and hex(2) the narrow text is taken as UTF-8; a byte that is not part of a
// well-formed UTF-8 sequence travels as the lone surrogate U+DC80-U+DCFF (U+DC00 + the byte),
// so every narrow string comes back byte for byte (see UnicodeText.h). Hex lists longer
// than a line are wrapped as regedit wraps them: ",\" at the end of the line, two blanks at
// the start of the next.
//
// Reading (Parse) accepts that, plus CR LF line ends, a UTF-8 byte-order mark, a UTF-16LE
// file with its byte-order mark, blank lines, ";" comment lines, leading and trailing blanks
// on a line, hex(1) (REG_SZ; one trailing NUL unit is dropped), hex(3) (REG_BINARY),
// hex(4) (REG_DWORD, 4 bytes little-endian), upper-case hex digits and dword: with fewer
// than eight digits. A key that appears twice is one key; a value that appears twice in a
// key keeps the last one, as an import would.
//
// Anything else is an ERegistryFileDamaged
//   "Cannot read the settings file '<file>': line <n>: <what was wrong>"
// with n counted from 1: a first line that is not the header, a key line for another root,
// a key deletion "[-...]", an empty key name, keys nested deeper than kMaxKeyDepth, a value
// line before any key line, an unterminated or badly escaped string, a missing "=", a value
// deletion "=-", an unknown or unsupported value type, bad hex digits, text after a value,
// a UTF-16 value with an odd number of bytes, a continuation past the end of the file.
// Reading is split so that one object owns the position in the lines: RegFileLines (the
// cursor), RegFileParser (header, key and value lines), RegValueReader (the data of a value,
// taking a hex list's continuation lines from the cursor it is handed).
namespace RegFileFormat {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRootName = "HKEY_CURRENT_USER";
// Windows's own limit; it also bounds the recursion over the tree.
inline constexpr std::size_t kMaxKeyDepth = 512;

[[nodiscard]] TRegKey Parse(std::string_view text, const std::string& fileNameForErrors);

// Parse(Format(tree)) == tree for every tree whose names pass the two checks below.
[[nodiscard]] std::string Format(const TRegKey& root);

// Why Format could not write `name` as one key name that Parse reads back, or "" if it can:
// an empty name, a "\" (it would split the key in two) or a line feed (it would end the key
// line). Everything else, "]" and other control characters included, comes back unchanged.
[[nodiscard]] std::string_view KeyNameProblem(std::string_view name) noexcept;
// KeyNameProblem(name) is "".
[[nodiscard]] bool IsStorableKeyName(std::string_view name) noexcept;
// A value name that Format can write and Parse read back: no line feed.
[[nodiscard]] bool IsStorableValueName(std::string_view name) noexcept;

}  // namespace RegFileFormat
