// The one logical value of each parameter: RFC 2231 continuations and extended values, RFC
// 2047 file names, 8-bit bytes in quoted strings, and how such values are written back.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mailparser/ContentDispositionField.h"
#include "mailparser/ContentTypeField.h"

namespace {

using MailParser::ContentDispositionField;
using MailParser::ContentField;
using MailParser::ContentTypeField;

using Parameters = std::vector<std::pair<std::string, std::string>>;

// A literal that may hold NUL bytes.
template <std::size_t N>
std::string bytes(const char (&text)[N]) {
  return {text, N - 1};
}

Parameters parametersOf(const ContentField::Parameters& parameters) {
  return {parameters.begin(), parameters.end()};
}

struct ReadCase {
  std::string value;  // a Content-Disposition value
  Parameters parameters;
  Parameters rawCharsets = {};  // values kept as bytes of a charset not converted here
};

void expectReads(const ReadCase& c) {
  ContentDispositionField field;
  field.parse(c.value);
  EXPECT_EQ(parametersOf(field.parameters), c.parameters) << c.value;
  EXPECT_EQ(parametersOf(field.rawCharsets), c.rawCharsets) << c.value;
}

TEST(ContentFieldParameters, JoinsRFC2231PiecesIntoOneParameter) {
  const ReadCase cases[] = {
      // continuations, in any order of appearance
      {"attachment; filename*0=\"a\"; filename*1=\".exe\"", {{"filename", "a.exe"}}},
      {"attachment; filename*1=\".exe\"; filename*0=\"a\"", {{"filename", "a.exe"}}},
      {"attachment; FileName*0=a; filename*2=c; FILENAME*1=b", {{"FileName", "abc"}}},
      {"attachment; filename*0=a; size=3; filename*1=b.exe", {{"filename", "ab.exe"}, {"size", "3"}}},
      {"attachment; filename*10=k; filename*0=a; filename*1=b; filename*2=c; filename*3=d; filename*4=e; "
       "filename*5=f; filename*6=g; filename*7=h; filename*8=i; filename*9=j",
       {{"filename", "abcdefghijk"}}},  // numbers, not text, give the order
      // extended values: charset and language, then percent-encoded bytes
      {"attachment; filename*=UTF-8''%C3%9Cberweisung.pdf", {{"filename", "\xC3\x9C" "berweisung.pdf"}}},
      {"attachment; filename*=utf-8'de'%C3%9C.pdf", {{"filename", "\xC3\x9C.pdf"}}},
      {"attachment; filename*=us-ascii'en-us'a%20b.txt", {{"filename", "a b.txt"}}},
      {"attachment; filename*=iso-8859-1''%E9t%E9.txt", {{"filename", "\xC3\xA9t\xC3\xA9.txt"}}},
      {"attachment; filename*=''%C3%9C.txt", {{"filename", "\xC3\x9C.txt"}}},
      {"attachment; filename*=UTF-8%C3%9C.txt", {{"filename", "UTF-8\xC3\x9C.txt"}}},  // no quotes: all value
      {"attachment; filename*=\"UTF-8''%C3%9C.pdf\"", {{"filename", "\xC3\x9C.pdf"}}},   // quoted, read anyway
      // extended continuations: the charset comes with the first piece, which may split a character
      {"attachment; filename*0*=UTF-8''%C3; filename*1*=%9C.pdf", {{"filename", "\xC3\x9C.pdf"}}},
      {"attachment; filename*0*=UTF-8'en'a%20b; filename*1=\" c%20.pdf\"", {{"filename", "a b c%20.pdf"}}},
      {"attachment; filename*0*=%C3%9C.txt", {{"filename", "\xC3\x9C.txt"}}},
      // other parameters are joined the same way
      {"attachment; size*0=12; size*1=34", {{"size", "1234"}}},
      // RFC 2231 forms are what an RFC 2231 reader shows, and the plain one is their fallback
      {"attachment; filename=\"fallback.pdf\"; filename*=UTF-8''%C3%9C.pdf", {{"filename", "\xC3\x9C.pdf"}}},
      {"attachment; filename*=UTF-8''%C3%9C.pdf; filename=\"fallback.pdf\"", {{"filename", "\xC3\x9C.pdf"}}},
      {"attachment; filename=\"plain\"; filename*0=\"a\"; filename*1=\".exe\"", {{"filename", "a.exe"}}},
      {"attachment; filename*=x.txt; filename*0=a; filename*1=.exe", {{"filename", "x.txt"}}},
      // a gap ends the value and a repeated piece keeps its first text, as mail programs read them
      {"attachment; filename*0=\"a\"; filename*2=\".exe\"", {{"filename", "a"}}},
      {"attachment; filename*0=a; filename*0=b; filename*1=.exe", {{"filename", "a.exe"}}},
      {"attachment; filename*=a.txt; filename*=b.exe", {{"filename", "a.txt"}}},
      {"attachment; filename*1=\".exe\"", {}},                        // no first piece: no value
      {"attachment; filename=x; filename*1=\".exe\"", {{"filename", "x"}}},
      // pieces that no reader takes are dropped, never written back under a name of their own
      {"attachment; filename*01=a; filename*1=b", {}},
      {"attachment; filename*x=a; file*name=b; *=c; filename**=d; name=e", {{"name", "e"}}},
      {"attachment; filename*99999999999=a", {}},
      // every charset a body could be in is converted as a body would be (US-ASCII and
      // ISO-8859-1 read as windows-1252); a label no decoder knows keeps the bytes under it
      {"attachment; filename*=utf-8''a%FFb", {{"filename", "a\xEF\xBF\xBD" "b"}}},
      // a byte-order mark is part of a value, not a signature to drop (found by fuzzing)
      {"attachment; filename*=UTF-8''%EF%BB%BFa.exe", {{"filename", "\xEF\xBB\xBF" "a.exe"}}},
      {"attachment; filename*=utf8''%EF%BB%BF%EF%BB%BFa", {{"filename", "\xEF\xBB\xBF\xEF\xBB\xBF" "a"}}},
      // so are the noncharacters U+FFFE and U+FFFF: well-formed UTF-8 reads back byte for byte
      // (found by fuzzing: a boundary starting with U+FFFF was written out and read back as U+FFFD)
      {"multipart/mixed; boundary*=UTF-8''%EF%BF%BF-%EF%BF%BE", {{"boundary", "\xEF\xBF\xBF-\xEF\xBF\xBE"}}},
      {"attachment; filename*=us-ascii''%E9.txt", {{"filename", "\xC3\xA9.txt"}}},
      {"attachment; filename*=iso-8859-1''%80.txt", {{"filename", "\xE2\x82\xAC.txt"}}},
      {"attachment; filename*=koi8-r''%EC%CF.exe", {{"filename", "\xD0\x9B\xD0\xBE.exe"}}},
      {"attachment; filename*=ISO-2022-JP''%1B%24B%25F%1B%28B.txt", {{"filename", "\xE3\x83\x86.txt"}}},
      {"attachment; filename*=x-klingon''%EC%CF.exe", {{"filename", "\xEC\xCF.exe"}}, {{"filename", "x-klingon"}}},
      {"attachment; filename*=x-klingon''%1B%24B%25F%1B%28B.txt", {{"filename", "\x1B$B%F\x1B(B.txt"}},
       {{"filename", "x-klingon"}}},  // raw text keeps the shift bytes an ISO 2022 charset is made of
      {"attachment; filename*=bad%label''%C3%9C", {{"filename", "\xC3\x9C"}}},
  };
  for (const auto& c : cases) {
    expectReads(c);
  }
}

TEST(ContentFieldParameters, DecodesEncodedWordFileNames) {
  const ReadCase cases[] = {
      {"attachment; filename=\"=?utf-8?B?w5xiZXJ3ZWlzdW5nLnBkZg==?=\"", {{"filename", "\xC3\x9C" "berweisung.pdf"}}},
      {"attachment; filename=\"=?UTF-8?b?w5xiZXJ3ZWlzdW5nLnBkZg?=\"", {{"filename", "\xC3\x9C" "berweisung.pdf"}}},
      {"attachment; filename=\"=?utf-8?Q?=C3=9Cber_weisung.pdf?=\"", {{"filename", "\xC3\x9C" "ber weisung.pdf"}}},
      {"attachment; filename=\"=?utf-8?q?a?= =?utf-8?q?b.exe?=\"", {{"filename", "ab.exe"}}},
      {"attachment; filename=\"=?utf-8?q?a?=\r\n =?utf-8?q?b.exe?=\"", {{"filename", "ab.exe"}}},
      {"attachment; filename=\"=?utf-8?B?w5w=?= =?utf-8?B?LmV4ZQ==?=\"", {{"filename", "\xC3\x9C.exe"}}},
      {"attachment; filename=\"=?utf-8?B?77u/YS5leGU=?=\"", {{"filename", "\xEF\xBB\xBF" "a.exe"}}},
      {"attachment; filename=\"=?utf-8?B?ww==?= =?utf-8?B?nA==?=\"", {{"filename", "\xC3\x9C"}}},  // a character split
      {"attachment; filename=\"x =?utf-8?Q?a?=.exe\"", {{"filename", "x a.exe"}}},
      {"attachment; filename=\"=?iso-8859-1*de?Q?=E9t=E9.txt?=\"", {{"filename", "\xC3\xA9t\xC3\xA9.txt"}}},
      {"attachment; filename=\"=?windows-1251?B?y+7w5ewudHh0?=\"",
       {{"filename", "\xD0\x9B\xD0\xBE\xD1\x80\xD0\xB5\xD0\xBC.txt"}}},
      // continuations of encoded words, as some mailers write long names
      {"attachment; filename*0=\"=?utf-8?Q?a?=\"; filename*1=\" =?utf-8?Q?b.exe?=\"", {{"filename", "ab.exe"}}},
      // what is not a whole encoded word stays as written
      {"attachment; filename=\"=?utf-8?Q?a.exe\"", {{"filename", "=?utf-8?Q?a.exe"}}},
      {"attachment; filename=\"=?utf-8?X?a?=\"", {{"filename", "=?utf-8?X?a?="}}},
      {"attachment; filename=\"=??Q?a?=\"", {{"filename", "=??Q?a?="}}},
      // only file names are shown decoded; other values may look like encoded words
      {"attachment; x=\"=?utf-8?q?a?=\"", {{"x", "=?utf-8?q?a?="}}},
      // an extended value is never read a second time
      {"attachment; filename*=UTF-8''%3D%3Futf-8%3Fq%3Fa%3F%3D", {{"filename", "=?utf-8?q?a?="}}},
  };
  for (const auto& c : cases) {
    expectReads(c);
  }

  ContentTypeField type;
  type.parse("application/octet-stream; name=\"=?utf-8?Q?r=C3=A9sum=C3=A9.exe?=\"");
  EXPECT_EQ(parametersOf(type.parameters), (Parameters{{"name", "r\xC3\xA9sum\xC3\xA9.exe"}}));
}

TEST(ContentFieldParameters, KeepsEightBitBytesInQuotedValues) {
  const ReadCase cases[] = {
      {"attachment; filename=\"\xC3\x9C" "berweisung.pdf\"; size=3", {{"filename", "\xC3\x9C" "berweisung.pdf"}, {"size", "3"}}},
      {"attachment; filename=\"caf\xE9.txt\"; size=3", {{"filename", "caf\xE9.txt"}, {"size", "3"}}},
  };
  for (const auto& c : cases) {
    expectReads(c);
  }
}

TEST(ContentFieldParameters, SurvivesHostileInput) {
  const ReadCase cases[] = {
      // NUL and other control bytes never reach a value: a mail program would drop them or stop there
      {bytes("attachment; filename=\"a.ex\\\0e\"; size=1"), {{"filename", "a.exe"}, {"size", "1"}}},
      {bytes("attachment; filename=\"a\0b\""), {{"filename", "ab"}}},
      {"attachment; filename*=UTF-8''a%00.exe%0A.txt", {{"filename", "a.exe.txt"}}},
      {"attachment; filename=\"=?utf-8?Q?a=00=09b?=\"", {{"filename", "ab"}}},
      {bytes("attachment; filename=\"=?utf-8?Q?\0evil.exe?=\""), {{"filename", "evil.exe"}}},  // found by fuzzing
      {"attachment; filename*=unknown-8bit''caf%E9", {{"filename", "caf\xE9"}}},  // RFC 1428: no charset named
      // a lone CR ends a quoted value, as any line break that is not a fold does
      {"attachment; filename=\"a\rb\"; size=1", {{"filename", "a"}}},
      {"attachment; filename*0=\"a\r\"; filename*1=b", {{"filename", "a"}}},
      // 8-bit bytes in an unquoted value, where an extended value wants percent signs
      {"attachment; filename*=UTF-8''\xC3\x9C.pdf", {{"filename", "\xC3\x9C.pdf"}}},
      {"attachment; filename=\xC3\x9C.pdf; size=3", {{"filename", "\xC3\x9C.pdf"}, {"size", "3"}}},
      // input that stops early
      {"attachment; filename*0=\"abc", {{"filename", "abc"}}},
      {"attachment; filename*=UTF-8''%C", {{"filename", "%C"}}},
      {"attachment; filename*=UTF-8''%", {{"filename", "%"}}},
      {"attachment; filename*=UTF-8'", {{"filename", "UTF-8'"}}},
      {"attachment; filename*=", {}},
      {"attachment; filename*0", {}},
      {"attachment; filename=\"=?utf-8?B?w5", {{"filename", "=?utf-8?B?w5"}}},
      {"attachment; filename=\"=?utf-8?Q?a=C", {{"filename", "=?utf-8?Q?a=C"}}},
  };
  for (const auto& c : cases) {
    expectReads(c);
  }

  // Over-long: many pieces, a huge piece number, a long encoded name.
  std::string many = "attachment";
  std::string joined;
  for (int i = 0; i < 5000; ++i) {
    many += "; filename*" + std::to_string(i) + "=x" + std::to_string(i % 10);
    joined += "x" + std::to_string(i % 10);
  }
  ContentDispositionField manyPieces;
  manyPieces.parse(many);
  EXPECT_TRUE(manyPieces.parameters["filename"] == joined);
  std::string words = "attachment; filename=\"";
  for (int i = 0; i < 5000; ++i) {
    words += "=?utf-8?Q?=C3=9C?= ";
  }
  words += "\"";
  std::string umlauts;
  for (int i = 0; i < 5000; ++i) {
    umlauts += "\xC3\x9C";
  }
  ContentDispositionField manyWords;
  manyWords.parse(words);
  EXPECT_TRUE(manyWords.parameters["filename"] == umlauts + " ") << manyWords.parameters["filename"].size();
}

struct WriteCase {
  std::string value;  // a Content-Disposition value
  std::string written;
};

TEST(ContentFieldParameters, WritesOneParameterPlainOrInRFC2231Form) {
  const WriteCase cases[] = {
      {"attachment; filename*0=\"a\"; filename*1=\".exe\"", "attachment;\r\n\tfilename=\"a.exe\""},
      {"attachment; filename*=UTF-8''a%20b.txt", "attachment;\r\n\tfilename=\"a b.txt\""},
      {"attachment; filename=\"\xC3\x9C" "berweisung.pdf\"", "attachment;\r\n\tfilename*=UTF-8''%C3%9Cberweisung.pdf"},
      {"attachment; filename=\"=?utf-8?B?w5xiZXJ3ZWlzdW5nLnBkZg==?=\"",
       "attachment;\r\n\tfilename*=UTF-8''%C3%9Cberweisung.pdf"},
      {"attachment; filename*=iso-8859-1''%E9t%E9.txt", "attachment;\r\n\tfilename*=UTF-8''%C3%A9t%C3%A9.txt"},
      // what may not stand in an extended value is percent-encoded
      {"attachment; filename*=UTF-8''%C3%9C%20%281%29%25*'%22.txt",
       "attachment;\r\n\tfilename*=UTF-8''%C3%9C%20%281%29%25%2A%27%22.txt"},
      {"attachment; filename*=koi8-r'ru'%EC%CF.exe", "attachment;\r\n\tfilename*=UTF-8''%D0%9B%D0%BE.exe"},
      // bytes under a label no decoder knows go back under that label
      {"attachment; filename*=x-klingon'ru'%EC%CF.exe", "attachment;\r\n\tfilename*=x-klingon''%EC%CF.exe"},
      {"attachment; filename=\"=?x-klingon?Q?=CB=EE.txt?=\"", "attachment;\r\n\tfilename*=x-klingon''%CB%EE.txt"},
      // 8-bit bytes that are not UTF-8 and carry no label are written back as they came,
      // unless a reader would find encoded words in them
      {"attachment; filename=\"caf\xE9.txt\"", "attachment;\r\n\tfilename=\"caf\xE9.txt\""},
      {"attachment; filename*=''caf%E9%20%3D%3Fx%3Fq%3Fa.exe%3F%3D",
       "attachment;\r\n\tfilename*=unknown-8bit''caf%E9%20%3D%3Fx%3Fq%3Fa.exe%3F%3D"},
      {"attachment; filename*=UTF-8''%3D%3Futf-8%3Fq%3Fa.exe%3F%3D", "attachment;\r\n\tfilename*=UTF-8''%3D%3Futf-8%3Fq%3Fa.exe%3F%3D"},
  };
  for (const auto& c : cases) {
    ContentDispositionField field;
    field.parse(c.value);
    EXPECT_EQ(field.toString(), c.written) << c.value;
  }
}

// Every written line, without the line break.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const auto end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) {
      return lines;
    }
    start = end + 2;
  }
}

TEST(ContentFieldParameters, SplitsLongValuesIntoLinesThatFit) {
  std::string ascii;
  std::string utf8;
  for (int i = 0; i < 400; ++i) {
    ascii += static_cast<char>('a' + i % 26);
    utf8 += "\xC3\x9C";
  }
  for (const std::string& name : {ascii + ".exe", utf8 + ".exe", std::string(300, '"')}) {
    ContentDispositionField field;
    field.parameters["filename"] = name;
    const std::string written = field.toString();
    const auto lines = linesOf(written);
    EXPECT_GT(lines.size(), 2U) << written;
    for (const auto& line : lines) {
      EXPECT_LE(line.size(), MailParser::MaxParameterLineLength) << line;
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind("\tfilename*" + std::to_string(i - 1), 0), 0U) << written;
    }
    ContentDispositionField reread;
    reread.parse(written);
    EXPECT_EQ(parametersOf(reread.parameters), (Parameters{{"filename", name}})) << written;
    EXPECT_EQ(reread.toString(), written);
  }

  // A character is never cut in two, so readers that decode each piece alone show it too.
  ContentDispositionField field;
  field.parameters["filename"] = utf8;
  const auto pieces = linesOf(field.toString());
  ASSERT_GT(pieces.size(), 2U);
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const std::string& line = pieces[i];
    const auto equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    const std::string piece = line.substr(line.rfind('\'') == std::string::npos ? equals + 1 : line.rfind('\'') + 1);
    EXPECT_EQ(piece.rfind("%C3", 0), 0U) << line;
  }

  // A boundary of the longest allowed length stays on its line, as every reader expects it.
  ContentTypeField type;
  type.parse("multipart/mixed; boundary=\"" + std::string(70, 'b') + "\"");
  EXPECT_EQ(type.toString(), "multipart/mixed;\r\n\tboundary=\"" + std::string(70, 'b') + "\"");
}

TEST(ContentFieldParameters, WritesLabelsOnlyForTheValuesTheyBelongTo) {
  ContentDispositionField field;
  field.parse("attachment; filename*=x-klingon''%EC%CF.exe");
  ASSERT_FALSE(field.rawCharsets.empty());
  field.parse("attachment; filename=\"\xC3\x9C.exe\"");
  EXPECT_TRUE(field.rawCharsets.empty());
  EXPECT_EQ(field.toString(), "attachment;\r\n\tfilename*=UTF-8''%C3%9C.exe");

  // A label that cannot stand in an extended value would break the field: it is ignored.
  field.rawCharsets["filename"] = "koi8-r'; x=\"";
  EXPECT_EQ(field.toString(), "attachment;\r\n\tfilename*=UTF-8''%C3%9C.exe");
}

}  // namespace
