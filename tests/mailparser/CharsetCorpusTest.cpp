// The generated messages of tests/data/corpus/gen-charsets carry real text in twenty
// charsets. Every labelled text part, decoded from its transfer encoding and converted by its
// charset parameter, must be free of U+FFFD wherever glibc's iconv converts it without an
// error, and must be exactly iconv's text for the charsets we decode as iconv does.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "IconvOracle.h"
#include "mailparser/Charsets.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"
#include "mailparser/TransferCodings.h"

namespace {

struct TextPart {
  std::string charset;
  std::string bytes;  // decoded from the transfer encoding
};

class CollectingEntity : public MailParser::MIMEEntity {
 public:
  CollectingEntity(MailParser::MIMEEntityHeader entityHeader, std::vector<TextPart>& parts)
      : MIMEEntity(std::move(entityHeader)), parts_(parts) {}
  void processLine(std::string_view line) override {
    block_ += line;
    block_ += "\r\n";
  }
  void end() override {
    const auto charset = header.contentType.parameters.find("charset");
    if (header.contentType.type == "text" && charset != header.contentType.parameters.end()) {
      parts_.push_back({charset->second, MailParser::decodeBody(header.transferEncoding, block_)});
    }
  }

 private:
  std::vector<TextPart>& parts_;
  std::string block_;
};

std::unique_ptr<MailParser::MIMEEntity> makeEntity(const MailParser::MIMEEntityHeader& header,
                                                   MailParser::MultipartMIMEEntity* parent,
                                                   std::vector<TextPart>& parts);

class CollectingMultipart : public MailParser::MultipartMIMEEntity {
 public:
  CollectingMultipart(MailParser::MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity,
                      std::vector<TextPart>& parts)
      : MultipartMIMEEntity(std::move(entityHeader), parentEntity), parts_(parts) {}

 protected:
  std::unique_ptr<MailParser::MIMEEntity> createEntity(
      const MailParser::MIMEEntityHeader& partHeader) override {
    return makeEntity(partHeader, this, parts_);
  }
  void closed() override {}

 private:
  std::vector<TextPart>& parts_;
};

std::unique_ptr<MailParser::MIMEEntity> makeEntity(const MailParser::MIMEEntityHeader& header,
                                                   MailParser::MultipartMIMEEntity* parent,
                                                   std::vector<TextPart>& parts) {
  if (header.contentType.isMultipart()) {
    return std::make_unique<CollectingMultipart>(header, parent, parts);
  }
  return std::make_unique<CollectingEntity>(header, parts);
}

class CollectingParser : public MailParser::MessageParser {
 public:
  std::vector<TextPart> parts;

 protected:
  void headersComplete() override {
    if (MailParser::isMIME(header)) {
      entity = makeEntity(MailParser::MIMEEntityHeader(header), nullptr, parts);
    }
  }
  void bodyLineWithoutEntity(std::string_view /*line*/) override {}
  void endWithoutEntity() override {}
};

std::vector<TextPart> textPartsOf(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  const std::string message = content.str();
  CollectingParser parser;
  std::size_t start = 0;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    end = end == std::string::npos ? message.size() : end;
    parser.processLine(std::string_view(message).substr(start, end - start));
    start = end + 1;
  }
  parser.end();
  return parser.parts;
}

// The corpus's charsets that no decoder here reads as iconv does, and why. Their text may
// differ from iconv's; it must still be free of U+FFFD where iconv's is. Browsers know none
// of these labels either.
const std::map<std::string, const char*> kNotLikeIconv = {
    {"euc-jisx0213", "no decoder: windows-1252"},
    {"shift_jisx0213", "no decoder: windows-1252"},
    {"johab", "no decoder: windows-1252"},
};

// glibc's name for a label where it has another one, or a different table under that name
// (we decode these labels as Windows and browsers do).
const std::map<std::string, const char*> kOracleNames = {
    {"ks_c_5601-1987", "CP949"}, {"euc-kr", "CP949"},    {"big5", "CP950"},   {"shift_jis", "CP932"},
    {"euc-jp", "EUC-JP-MS"},     {"us-ascii", "CP1252"}, {"gb2312", "CP936"}, {"gbk", "CP936"},
};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

TEST(CharsetCorpus, RealTextDecodesWithoutReplacementWhereIconvHasNone) {
  const std::filesystem::path folder =
      std::filesystem::path(QUORIX_TEST_DATA_DIR) / "corpus" / "gen-charsets";
  std::set<std::string> charsetsSeen;
  int partsChecked = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    for (const auto& part : textPartsOf(file.path())) {
      const std::string label = lower(part.charset);
      const auto alias = kOracleNames.find(label);
      std::optional<std::u16string> oracle;
      try {
        MailParserTest::IconvOracle iconv(alias != kOracleNames.end() ? alias->second : label.c_str());
        oracle = iconv.decode(part.bytes);
      } catch (const std::runtime_error&) {
      }
      if (!oracle || oracle->find(u'\uFFFD') != std::u16string::npos) {
        continue;  // iconv has no such charset or no clean text: nothing to hold us to
      }
      charsetsSeen.insert(label);
      ++partsChecked;
      const std::u16string ours = MailParser::toWide(part.bytes, part.charset, true);
      const auto replacement = ours.find(u'\uFFFD');
      EXPECT_EQ(replacement, std::u16string::npos)
          << file.path().filename() << " (" << label << "): U+FFFD at unit " << replacement;
      if (kNotLikeIconv.count(label) == 0) {
        EXPECT_TRUE(ours == *oracle) << file.path().filename() << " (" << label << ") differs from iconv";
      }
    }
  }
  // The corpus has 85 labelled text parts that iconv converts cleanly, in 20 charsets.
  EXPECT_GE(charsetsSeen.size(), 20U);
  EXPECT_GE(partsChecked, 85);
}

}  // namespace
