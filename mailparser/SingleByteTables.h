#pragma once

#include <array>

// The 256-entry tables of the single-byte code pages, one code unit per byte value, U+FFFD
// where the code page defines nothing. Generated from the published mappings into
// SingleByteTables.cpp by scripts/gen-charset-tables.py.

namespace MailParser {

using SingleByteTable = std::array<char16_t, 256>;

namespace SingleByteTables {

extern const SingleByteTable windows1252;
extern const SingleByteTable iso8859_2;
extern const SingleByteTable iso8859_3;
extern const SingleByteTable iso8859_4;
extern const SingleByteTable iso8859_5;
extern const SingleByteTable iso8859_6;
extern const SingleByteTable iso8859_7;
extern const SingleByteTable iso8859_8;
extern const SingleByteTable iso8859_9;
extern const SingleByteTable iso8859_10;
extern const SingleByteTable iso8859_13;
extern const SingleByteTable iso8859_14;
extern const SingleByteTable iso8859_15;
extern const SingleByteTable iso8859_16;
extern const SingleByteTable windows874;
extern const SingleByteTable windows1250;
extern const SingleByteTable windows1251;
extern const SingleByteTable windows1253;
extern const SingleByteTable windows1254;
extern const SingleByteTable windows1255;
extern const SingleByteTable windows1256;
extern const SingleByteTable windows1257;
extern const SingleByteTable windows1258;
extern const SingleByteTable ibm437;
extern const SingleByteTable ibm850;
extern const SingleByteTable ibm852;
extern const SingleByteTable ibm857;
extern const SingleByteTable ibm860;
extern const SingleByteTable ibm861;
extern const SingleByteTable ibm862;
extern const SingleByteTable ibm863;
extern const SingleByteTable ibm864;
extern const SingleByteTable ibm865;
extern const SingleByteTable ibm866;
extern const SingleByteTable ibm869;
extern const SingleByteTable ibm424;
extern const SingleByteTable ibm737;
extern const SingleByteTable ibm775;
extern const SingleByteTable macintosh;
extern const SingleByteTable macArabic;
extern const SingleByteTable macCentralEurope;
extern const SingleByteTable macCyrillic;
extern const SingleByteTable macGreek;
extern const SingleByteTable macHebrew;
extern const SingleByteTable macIcelandic;
extern const SingleByteTable macTurkish;
extern const SingleByteTable koi8r;
extern const SingleByteTable koi8u;

}  // namespace SingleByteTables

}  // namespace MailParser
