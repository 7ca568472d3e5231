// Whole rewrites at a glance: every tests/data/engine/<name>.eml goes through the processor
// under the "Medium" profile at a fixed processing time, and the result must equal
// <name>.Medium.expected.eml byte for byte (LF line ends, as quorix-filter writes by default).
// QUORIX_UPDATE_GOLDEN=1 rewrites the expected files instead; read the diff before committing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "MediumProfileSettings.h"
#include "ProcessorHarness.h"
#include "engine/MessageProcessor.h"

namespace {

namespace fs = std::filesystem;

const fs::path DataDir = fs::path(QUORIX_TEST_DATA_DIR) / "engine";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string filterMedium(const std::string& message) {
  ProcessorTest::MediumProfileSettings settings(ProcessorTest::Now);
  {
    MailParser::MessageProcessor processor(settings, ProcessorTest::Now);
    std::size_t start = 0;
    while (start < message.size()) {
      const auto lf = message.find('\n', start);
      processor.processLine(std::string_view(message).substr(start, lf == std::string::npos ? lf : lf - start));
      if (lf == std::string::npos) break;
      start = lf + 1;
    }
    processor.end();
  }
  EXPECT_TRUE(settings.statusMessages.empty());
  std::string output;
  for (const auto& call : settings.lines) {
    for (const char c : call) {
      if (c != '\r') output += c;
    }
    output += '\n';
  }
  return output;
}

std::vector<fs::path> inputs() {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(DataDir)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".eml") && !name.ends_with(".expected.eml")) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(MessageProcessorGoldenTest, MediumProfileRewrites) {
  const bool update = std::getenv("QUORIX_UPDATE_GOLDEN") != nullptr &&
                      std::string_view(std::getenv("QUORIX_UPDATE_GOLDEN")) == "1";
  const auto messages = inputs();
  ASSERT_GE(messages.size(), 5U);
  for (const auto& input : messages) {
    SCOPED_TRACE(input.filename().string());
    const fs::path expectedPath = fs::path(input).replace_extension(".Medium.expected.eml");
    const std::string output = filterMedium(readFile(input));
    if (update) {
      std::ofstream(expectedPath, std::ios::binary) << output;
      continue;
    }
    ASSERT_TRUE(fs::exists(expectedPath)) << "no " << expectedPath << "; run with QUORIX_UPDATE_GOLDEN=1";
    EXPECT_EQ(output, readFile(expectedPath));
  }
}

}  // namespace
