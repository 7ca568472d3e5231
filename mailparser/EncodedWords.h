#pragma once

#include <string_view>

#include "mailparser/ParameterText.h"

namespace MailParser {

// Decodes the RFC 2047 encoded words ("=?charset?B?...?=", "=?charset*language?Q?...?=") in
// a file name. RFC 2047 does not allow them inside quoted strings, but mailers write file
// names that way and mail programs show them decoded, so the name an attachment rule judges
// must be decoded too.
//
// Read as mail programs read them: a word may stand next to other text; the blanks between
// two words are dropped; B text may lack its padding; in Q text "_" is a space and "=XX" a
// byte. The bytes of neighbouring words in the same charset are joined before they are
// converted, since a sender may cut a character between two words. Whatever is not a whole
// word (an unknown coding letter, a missing "?=", blanks inside the text) stays as written.
//
// The result is UTF-8 where every word's charset could be converted (see ParameterText.h).
// Otherwise it carries the first charset that could not be, and the bytes of every word are
// left as they were decoded.
[[nodiscard]] ParameterText decodeEncodedWords(std::string_view text);

// "name" and "filename" (letter case ignored): the parameters whose plain values are read
// for encoded words.
[[nodiscard]] bool isFileNameParameter(std::string_view name) noexcept;

}  // namespace MailParser
