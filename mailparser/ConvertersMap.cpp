#include "mailparser/ConvertersMap.h"

#include <initializer_list>
#include <string>

#include "mailparser/ISO2022Decoder.h"
#include "mailparser/SingleByteTables.h"
#include "mailparser/TableDecoders.h"
#include "mailparser/UnicodeDecoders.h"

namespace MailParser {

namespace {

namespace T = SingleByteTables;

constexpr ISO2022Decoder::Mode kShiftJIS = ISO2022Decoder::Mode::ShiftJIS;
constexpr ISO2022Decoder::Mode kEUCJP = ISO2022Decoder::Mode::EUCJP;
constexpr ISO2022Decoder::Mode kISO2022JP = ISO2022Decoder::Mode::ISO2022JP;
constexpr ISO2022Decoder::Mode kEUCKR = ISO2022Decoder::Mode::EUCKR;

struct SingleByteNames {
  const SingleByteTable& table;
  std::initializer_list<const char*> names;
};

// In registration order: a name registered twice keeps its later table.
const SingleByteNames kSingleByteNames[] = {
    // Browsers read ASCII and Latin-1 labels as windows-1252: 8-bit bytes in text labelled
    // US-ASCII are that code page far more often than anything else, and a byte must never
    // turn into the character of its low seven bits (0xE9 into "i").
    {T::windows1252,
     {"us-ascii", "ascii", "iso646-us", "iso_646.irv:1991", "iso-ir-6", "ansi_x3.4-1968", "ansi_x3.4-1986",
      "cp367", "ibm367", "us", "csascii"}},
    {T::windows1252,
     {"iso-8859-1", "iso_8859-1", "iso_8859-1:1987", "iso8859-1", "iso88591", "iso-ir-100", "latin1", "l1",
      "csisolatin1", "cp819", "ibm819"}},
    {T::iso8859_2,
     {"iso-8859-2", "iso_8859-2", "iso_8859-2:1987", "iso-ir-101", "latin2", "l2", "csisolatin2",
      "iso8859-2"}},
    {T::iso8859_3,
     {"iso-8859-3", "iso_8859-3", "iso_8859-3:1998", "iso-ir-109", "latin3", "l3", "csisolatin3"}},
    {T::iso8859_4,
     {"iso-8859-4", "iso_8859-4", "iso_8859-4:1988", "iso-ir-110", "latin4", "l4", "csisolatin4"}},
    {T::iso8859_5,
     {"iso-8859-5", "iso_8859-5", "iso_8859-5:1988", "iso-ir-144", "cyrillic", "csisolatin5",
      "csisolatincyrillic", "l5"}},
    {T::iso8859_6,
     {"iso-8859-6", "iso_8859-6", "iso_8859-6:1987", "iso-ir-127", "ecma-114", "asmo-708", "arabic",
      "csisolatinarabic"}},
    {T::iso8859_7,
     {"iso-8859-7", "iso_8859-7", "iso_8859-7:1987", "iso-ir-126", "ecma-118", "elot_928", "greek8", "greek",
      "csisolatingreek"}},
    {T::iso8859_8,
     {"iso-8859-8", "iso_8859-8", "iso_8859-8:1988", "iso-ir-138", "hebrew", "csisolatinhebrew", "visual",
      "iso-8859-8-i", "logical"}},
    {T::iso8859_9,
     {"iso-8859-9", "iso_8859-9", "iso_8859-9:1989", "iso-ir-148", "latin5", "l5", "csisolatin5"}},
    {T::iso8859_10,
     {"iso-8859-10", "iso_8859-10", "iso_8859-10:1992", "iso-ir-157", "latin6", "l6", "csisolatin6"}},
    {T::windows874, {"iso-8859-11", "windows-874", "dos-874", "tis-620"}},
    {T::iso8859_13, {"iso-8859-13", "iso_8859-13", "iso_ir_179", "latin7", "l7"}},
    {T::iso8859_14, {"iso-8859-14", "iso_8859-14", "iso_8859-14:1998", "iso-ir-199", "latin8", "l8"}},
    {T::iso8859_15, {"iso-8859-15", "iso_8859-15", "iso_8859-15:1998", "iso-ir-203", "latin9", "l9"}},
    {T::iso8859_16, {"iso-8859-16", "iso_8859-16", "iso_8859-16:2000", "iso-ir-226"}},
    // Each Windows code page with its own table; "cpNNNN" and "x-cp125N" as mailers write them.
    {T::windows1250, {"windows-1250", "x-cp-1250", "cp1250", "x-cp1250"}},
    {T::windows1251, {"windows-1251", "x-cp-1251", "cp1251", "x-cp1251"}},
    {T::windows1252, {"windows-1252", "cp1252", "x-cp1252", "x-ansi"}},
    {T::windows1253, {"windows-1253", "cp1253", "x-cp1253"}},
    {T::windows1254, {"windows-1254", "cp1254", "x-cp1254"}},
    {T::windows1255, {"windows-1255", "cp1255", "x-cp1255"}},
    {T::windows1256, {"windows-1256", "cp1256", "x-cp1256"}},
    {T::windows1257, {"windows-1257", "cp1257", "x-cp1257"}},
    {T::windows1258, {"windows-1258", "cp1258", "x-cp1258"}},
    {T::ibm850, {"cp850", "ibm850"}},
    {T::ibm852, {"cp852", "ibm852"}},
    {T::ibm857, {"cp857", "ibm857"}},
    {T::ibm860, {"cp860", "ibm860"}},
    {T::ibm861, {"cp861", "ibm861"}},
    {T::ibm862, {"cp862", "ibm862", "dos862"}},
    {T::ibm863, {"cp863", "ibm863"}},
    {T::ibm864, {"cp864", "ibm864"}},
    {T::ibm865, {"cp865", "ibm865"}},
    {T::ibm866, {"cp866", "ibm866"}},
    {T::ibm869, {"cp869", "ibm869"}},
    {T::ibm437, {"cp437", "ibm437", "437", "cspc8codepage437"}},
    {T::ibm424, {"cp424", "ibm424", "ebcdic-cp-he", "csibm424"}},
    {T::ibm737, {"ibm737"}},
    {T::ibm775, {"ibm775"}},
    {T::macintosh, {"macintosh", "mac", "x-mac-roman", "csmacintosh"}},
    {T::macArabic, {"x-mac-arabic"}},
    {T::macCentralEurope, {"x-mac-ce"}},
    {T::macCyrillic, {"x-mac-cyrillic", "x-mac-ukrainian"}},
    {T::macGreek, {"x-mac-greek"}},
    {T::macHebrew, {"x-mac-hebrew"}},
    {T::macIcelandic, {"x-mac-icelandic"}},
    {T::macTurkish, {"x-mac-turkish"}},
    {T::koi8r, {"koi8-r", "cskoi8r", "koi", "koi8", "koi8r", "koi8_r"}},
    {T::koi8u, {"koi8-u", "koi8-ru"}},
};

constexpr bool kWonSign = true;
constexpr bool kBackslash = false;

struct DecoderNames {
  Converter converter;
  std::initializer_list<const char*> names;
};

Converter iso2022(const ISO2022Decoder::Mode& mode) {
  return {&ISO2022Decoder::decodeWithMode, &mode};
}

const DecoderNames kDecoderNames[] = {
    {{&UnicodeDecoders::decodeUTF7}, {"csunicode11utf7", "unicode-2-0-utf-7", "unicode-1-1-utf-7", "utf-7"}},
    {{&UnicodeDecoders::decodeUTF8},
     {"x-unicode-2-0-utf-8", "unicode-2-0-utf-8", "unicode-1-1-utf-8", "utf-8", "utf8"}},
    // "unicode" is what Windows calls its little-endian UTF-16 (code page 1200).
    {{&UnicodeDecoders::decodeUTF16LittleEndian},
     {"utf-16le", "unicode", "unicodefeff", "ucs-2", "csunicode"}},
    {{&UnicodeDecoders::decodeUTF16BigEndian}, {"unicodefffe", "utf-16be", "utf-16"}},
    {{&UnicodeDecoders::decodeUTF32LittleEndian}, {"utf-32le"}},
    {{&UnicodeDecoders::decodeUTF32BigEndian}, {"utf-32be", "utf-32"}},
    {{&TableDecoders::decodeGBK},
     {"gbk", "x-euc-cn", "euc-cn", "cn-gb", "csiso58gb231280", "chinese", "iso-ir-58", "gb2312-80",
      "gb231280", "gb_2312-80", "csgb231280", "csgb2312", "gb2312", "gb_2312", "x-gbk", "cp936", "ms936",
      "windows-936", "gb18030"}},
    {{&TableDecoders::decodeHZ}, {"hz-gb-2312"}},
    {{&TableDecoders::decodeBig5}, {"x-x-big5", "cn-big5", "csbig5", "big5", "cp950"}},
    {{&TableDecoders::decodeBig5HKSCS}, {"big5-hkscs", "big5hkscs"}},
    {{&TableDecoders::decodeUnifiedHangul, &kWonSign},
     {"_autodetect_kr", "korean", "csksc56011987", "iso-ir-149", "ksc5601", "ksc_5601", "ks_c_5601-1989",
      "ks_c_5601-1987", "ks_c_5601", "windows-949", "cp949", "uhc"}},
    // Browsers read EUC-KR as the unified Hangul code page it is a part of, so mail from
    // Windows that uses its extra syllables keeps them; its 0x5C stays the ASCII backslash.
    {{&TableDecoders::decodeUnifiedHangul, &kBackslash}, {"cseuckr", "euc-kr"}},
    {iso2022(kEUCKR), {"csiso2022kr", "iso-2022-kr"}},
    {iso2022(kISO2022JP), {"csiso2022jp", "iso-2022-jp"}},
    {iso2022(kEUCJP),
     {"cseucpkdfmtjapanese", "extended_unix_code_packed_format_for_japanese", "x-euc-jp", "x-euc", "euc-jp"}},
    {iso2022(kShiftJIS),
     {"x-sjis", "x-ms-cp932", "cswindows31j", "ms-kanji", "csshiftjis", "sjis", "shift-jis", "shift_jis",
      "windows-31j", "ms_kanji", "ms932", "cp932"}},
};

}  // namespace

ConvertersMap::ConvertersMap() : fallback_{&TableDecoders::decodeSingleByte, &SingleByteTables::windows1252} {
  for (const auto& entry : kSingleByteNames) {
    for (const char* name : entry.names) {
      map_[name] = {&TableDecoders::decodeSingleByte, &entry.table};
    }
  }
  for (const auto& entry : kDecoderNames) {
    for (const char* name : entry.names) {
      map_[name] = entry.converter;
    }
  }
  // Mailers also write the ISO 8859 names without their first hyphen or without both
  // ("iso8859-15", "iso885915"), as browsers accept them.
  for (int part = 1; part <= 16; ++part) {
    const auto found = map_.find("iso-8859-" + std::to_string(part));
    if (found != map_.end()) {
      const Converter converter = found->second;
      map_.try_emplace("iso8859-" + std::to_string(part), converter);
      map_.try_emplace("iso8859" + std::to_string(part), converter);
    }
  }
}

const ConvertersMap& ConvertersMap::instance() {
  static const ConvertersMap map;
  return map;
}

const Converter* ConvertersMap::find(std::string_view name) const {
  const auto found = map_.find(name);
  return found == map_.end() ? nullptr : &found->second;
}

}  // namespace MailParser
