#pragma once

#include <string>
#include <string_view>

#include "mailparser/DoubleByteTables.h"
#include "mailparser/SingleByteTables.h"

// The table-driven decoders of the single-byte and the Chinese and Korean double-byte code
// pages. Undefined bytes and pairs give U+FFFD. In the double-byte code pages a lead byte
// whose trail byte makes no defined pair gives one U+FFFD; a trail byte below 0x80 is then
// decoded afresh, as browsers do, so that a stray lead byte never swallows markup such as "<".

namespace MailParser::TableDecoders {

// `table` is a SingleByteTable.
std::u16string decodeSingleByte(std::string_view bytes, const void* table);
// Code page 936, with GB 18030's four-byte codes (two bytes 0x30..0x39 after the lead and
// the third byte), as browsers read both. The single byte 0x80 is the euro sign.
std::u16string decodeGBK(std::string_view bytes, const void* unused);
// Code page 950.
std::u16string decodeBig5(std::string_view bytes, const void* unused);
// Big5 with the Hong Kong supplement, which has characters above U+FFFF.
std::u16string decodeBig5HKSCS(std::string_view bytes, const void* unused);
// Code page 949 (unified Hangul). `wonSign` points to a bool: when it is true the byte 0x5C
// is U+20A9 WON SIGN, the character that Korean systems show for it; otherwise it is the backslash.
std::u16string decodeUnifiedHangul(std::string_view bytes, const void* wonSign);
// RFC 1843: "~{" enters GB mode, "~}" leaves it; outside it "~~" is "~" and "~" LF is a line
// continuation; inside it two bytes 0x21..0x7E are a GB 2312 character.
std::u16string decodeHZ(std::string_view bytes, const void* unused);

}  // namespace MailParser::TableDecoders
