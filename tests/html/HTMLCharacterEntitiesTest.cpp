#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "RecordingHandler.h"
#include "html/HTMLCharacterEntities.h"
#include "html/HTMLEntityTables.h"

namespace {

using namespace std::literals;
using HTMLFilter::HTMLCharacterEntities;

const HTMLCharacterEntities& entities() {
  return HTMLCharacterEntities::instance();
}

struct DecodeCase {
  const char* name;
  std::u16string_view text;
  std::u16string_view decoded;
};

const DecodeCase decodeCases[] = {
    {"one level only", u"&amp;lt;", u"&lt;"},
    {"HTML 4 names need no ;", u"&lt &eacute-", u"< \u00E9-"},
    {"names are case-sensitive", u"&Eacute;&eacute;", u"\u00C9\u00E9"},
    {"unknown name stays", u"&bogus; &image x", u"&bogus; &image x"},
    {"old names start longer runs in text", u"&ampx; &copyx &notit; &image;",
     u"&x; \u00A9x \u00ACit; \u2111"},
    {"over-long run", u"&copyaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
     u"\u00A9aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
    {"lone & at the end", u"a&", u"a&"},
    {"& before a non-name", u"a & b &;", u"a & b &;"},
    {"only one ; is consumed", u"&lt;;", u"<;"},
    {"alias", u"&brkbar;&die;&hibar;", u"\u00A6\u00A8\u00AF"},
    {"decimal and hex", u"&#65;&#x41;&#X41;&#x6a", u"AAAj"},
    {"digits end at a non-digit", u"&#65abc&#x41g", u"AabcAg"},
    {"no digits or zero stays", u"&#;&#x;&#0;&#x0000;", u"&#;&#x;&#0;&#x0000;"},
    // Values above U+FFFF are characters of their own, not wrapped to 16 bits.
    {"above U+FFFF is a pair", u"&#128512;&#65601;", u"\xD83D\xDE00\xD800\xDC41"},
    {"highest code point", u"&#x10FFFF;", u"\xDBFF\xDFFF"},
    {"beyond U+10FFFF", u"&#x110000;&#99999999999999999999999;", u"\uFFFD\uFFFD"},
    {"surrogate values", u"&#xD800;&#57343;", u"\uFFFD\uFFFD"},
    // The HTML5 names, as browsers decode them.
    {"apos and hellip", u"&apos;&hellip;", u"'\u2026"},
    {"HTML5 names need their ;", u"&mldr &apos", u"&mldr &apos"},
    {"lang and rang as browsers read them", u"&lang;&rang;", u"\u27E8\u27E9"},
    {"old upper-case names", u"&AMP;&LT&QUOT;", u"&<\""},
    {"names that hide URLs", u"javascript&colon;a&Tab;b&NewLine;", u"javascript:a\tb\n"},
    {"two code points", u"&NotEqualTilde;", u"\u2242\u0338"},
    {"above U+FFFF by name", u"&Afr;", u"\xD835\xDD04"},
    {"longest name", u"&CounterClockwiseContourIntegral;", u"\u2233"},
    {"over-long name", u"&aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;",
     u"&aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;"},
    {"above 255 after &", u"&\u00E9;", u"&\u00E9;"},
};

TEST(HTMLCharacterEntitiesTest, Decode) {
  for (const DecodeCase& c : decodeCases) {
    EXPECT_EQ(RecordingHandler::show(entities().decode(c.text, true)), RecordingHandler::show(c.decoded))
        << c.name;
  }
}

// In attribute values, as browsers read them: a URL's parameters that look like old names
// without ";" are no references.
const DecodeCase attributeCases[] = {
    {"URL parameters", u"?a=1&copy=2&image=3&lt=4&amp;x", u"?a=1&copy=2&image=3&lt=4&x"},
    {"old names before a letter or digit", u"&copy2 &copyx &copy &copy", u"&copy2 &copyx \u00A9 \u00A9"},
    {"with ; always", u"&copy;=1&image;=2&hellip;", u"\u00A9=1\u2111=2\u2026"},
    {"aliases", u"&die=1&brkbar;&hibar", u"&die=1\u00A6\u00AF"},
    {"numeric references", u"&#65=&#x42;", u"A=B"},
};

TEST(HTMLCharacterEntitiesTest, DecodeAttributeValue) {
  for (const DecodeCase& c : attributeCases) {
    EXPECT_EQ(RecordingHandler::show(entities().decode(c.text, true, true)),
              RecordingHandler::show(c.decoded))
        << c.name;
  }
}

TEST(HTMLCharacterEntitiesTest, OldNamesAreShort) {
  for (const HTMLFilter::HTML5Entity& row : HTMLFilter::_HTML5Entities) {
    const std::string_view name = row.name;
    if (name.back() != ';') {
      EXPECT_LE(name.size(), 6u) << name;
    }
  }
}

TEST(HTMLCharacterEntitiesTest, DecodeDropsNulOnlyWhenAsked) {
  EXPECT_EQ(entities().decode(u"a\0&amp;\0b"sv, true), u"a&b");
  EXPECT_EQ(entities().decode(u"a\0b"sv, false), u"a\0b"sv);
}

struct EncodeCase {
  const char* name;
  std::u16string_view text;
  const char* encoded;
};

const EncodeCase encodeCases[] = {
    {"the four markup characters", u"a\"b&c<d>e'", "a&quot;b&amp;c&lt;d&gt;e'"},
    {"named", u"\u00E9\u20AC\u00A0", "&eacute;&euro;&nbsp;"},
    {"alias codes get the standard name", u"\u00A6\u00A8\u00AF", "&brvbar;&uml;&macr;"},
    {"controls and no name", u"\x01\t\r\n\u0100\u0080", "&#1;&#9;&#13;&#10;&#256;&#128;"},
    {"DEL is plain", u"\x7F", "\x7F"},
    {"a pair is one reference", u"\xD83D\xDE00", "&#128512;"},
    {"lone surrogates", u"\xD800x\xDE00\xDE00\xD83D", "&#65533;x&#65533;&#65533;&#65533;"},
    {"NUL", u"\0"sv, "&#0;"},
};

TEST(HTMLCharacterEntitiesTest, Encode) {
  for (const EncodeCase& c : encodeCases) EXPECT_EQ(entities().encode(c.text), c.encoded) << c.name;
}

TEST(HTMLCharacterEntitiesTest, EncodeCharacter) {
  EXPECT_EQ(entities().encodeCharacter(0x20AC), "&euro;");
  EXPECT_EQ(entities().encodeCharacter(1), "&#1;");
  EXPECT_EQ(entities().encodeCharacter(0x1F600), "&#128512;");
  EXPECT_EQ(entities().encodeCharacter(0xDC00), "&#65533;");
  EXPECT_EQ(entities().encodeCharacter(0x110000), "&#65533;");
}

TEST(HTMLCharacterEntitiesTest, EveryHTML4NameRoundTrips) {
  std::set<std::string_view> names;
  for (const HTMLFilter::HTMLEntity& row : HTMLFilter::_HTMLEntities) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    const std::u16string reference = u"&" + std::u16string(row.name, row.name + std::strlen(row.name)) + u";";
    const std::string_view name = row.name;
    if (name == "lang" || name == "rang") continue;  // below
    EXPECT_EQ(entities().decode(reference, true), std::u16string(1, row.code)) << row.name;
    if (name != "brkbar" && name != "die" && name != "hibar") {
      EXPECT_EQ(entities().encodeCharacter(row.code), "&" + std::string(name) + ";");
    }
  }
  EXPECT_EQ(names.size(), 255u);
}

// HTML5 changed the characters of two HTML 4 names; what encode writes must read back as the
// same character, in browsers and here.
TEST(HTMLCharacterEntitiesTest, LangAndRangAreWrittenByNumber) {
  EXPECT_EQ(entities().encode(u"\u2329\u232A\u27E8"), "&#9001;&#9002;&#10216;");
}

TEST(HTMLCharacterEntitiesTest, EveryHTML5NameDecodes) {
  const auto& table = HTMLFilter::_HTML5Entities;
  // Lookup is a binary search.
  EXPECT_TRUE(std::is_sorted(std::begin(table), std::end(table),
                             [](const auto& a, const auto& b) { return std::string_view(a.name) < b.name; }));
  for (const HTMLFilter::HTML5Entity& row : table) {
    std::u16string reference = u"&";
    for (const char* p = row.name; *p; ++p) reference.push_back(static_cast<char16_t>(*p));
    const std::u16string decoded = entities().decode(reference, true);
    ASSERT_FALSE(decoded.empty());
    const char32_t first = decoded[0] >= 0xD800 && decoded[0] <= 0xDBFF
                               ? 0x10000 + ((decoded[0] - 0xD800) << 10) + (decoded[1] - 0xDC00)
                               : decoded[0];
    EXPECT_EQ(first, row.first) << row.name;
  }
}

}  // namespace
