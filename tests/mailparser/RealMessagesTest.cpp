// Whole messages kept under tests/data/mailparser: each NAME.eml is parsed (fed every way)
// and its trace, with every entity's header as it would be written, must equal NAME.trace.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "RecordingEntities.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file) << "cannot open " << path;
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

class RealMessage : public testing::TestWithParam<const char*> {};

TEST_P(RealMessage, GivesItsRecordedTrace) {
  const std::string base = std::string(QUORIX_TEST_DATA_DIR) + "/mailparser/" + GetParam();
  const std::string message = readFile(base + ".eml");
  ASSERT_FALSE(message.empty());
  // A checkout that turned the CR LF line ends into LF would make this test meaningless.
  for (std::size_t lf = message.find('\n'); lf != std::string::npos; lf = message.find('\n', lf + 1)) {
    ASSERT_TRUE(lf > 0 && message[lf - 1] == '\r') << GetParam() << ".eml has a bare LF at byte " << lf;
  }
  MailParserTest::expectTraceEveryWay(message, readFile(base + ".trace"), GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(MailParser, RealMessage,
                         testing::Values("nested-with-preamble-and-epilogue", "digest", "truncated-download",
                                         "file-names-in-every-form"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             c = c == '-' ? '_' : c;
                           }
                           return name;
                         });

}  // namespace
