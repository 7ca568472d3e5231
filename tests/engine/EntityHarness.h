#pragma once

// Drives the filtered entities the way the message processor does: a message parser that,
// once the header is complete, makes the body's entity (multipart or whole-body single part)
// on a fake settings interface, whose recorded output lines are joined back into CR LF text.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/FilteredMultipartMIMEEntity.h"
#include "engine/FilteredSingleMIMEEntity.h"
#include "mailparser/LineFeeding.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "support/FakeMessageProcessorInterface.h"

namespace EngineTest {

class EntityDriver : public MailParser::MessageParser {
 public:
  explicit EntityDriver(FakeMessageProcessorInterface& settings) : settings_(settings) {}
  int partCounter = 1;

 protected:
  void headersComplete() override {
    MailParser::MIMEEntityHeader entityHeader(header);
    if (entityHeader.contentType.isMultipart()) {
      entity = std::make_unique<MailParser::FilteredMultipartMIMEEntity>(settings_, std::move(entityHeader), settings_,
                                                                         partCounter);
    } else {
      entity = std::make_unique<MailParser::FilteredSingleMIMEEntity>(settings_, std::move(entityHeader), settings_,
                                                                      partCounter, true, false);
    }
  }
  void bodyLineWithoutEntity(std::string_view /*line*/) override {}
  void endWithoutEntity() override {}

 private:
  FakeMessageProcessorInterface& settings_;
};

// Every recorded output line with its line break: the bytes the mail program would get.
inline std::string outputText(const FakeMessageProcessorInterface& settings) {
  std::string text;
  for (const auto& line : settings.lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

using Setup = std::function<void(FakeMessageProcessorInterface&)>;

struct Result {
  std::string output;
  std::map<std::string, int> counts;
  std::vector<std::pair<int, std::string>> statusMessages;
};

// The message (CR LF text) through the entities, fed in one way.
inline Result filterWith(const std::vector<std::string>& calls, const Setup& setup) {
  FakeMessageProcessorInterface settings;
  if (setup) {
    setup(settings);
  }
  {
    EntityDriver driver(settings);
    for (const auto& call : calls) {
      driver.processLine(call);
    }
    driver.end();
  }
  return {outputText(settings), settings.counts, settings.statusMessages};
}

// Fed one line per call, and in all the other ways of LineFeeding.h; every way must give the
// same result, which is returned.
inline Result filterEveryWay(std::string_view message, const Setup& setup = {}) {
  const auto feedings = MailParserTest::feedingsOf(message);
  const Result first = filterWith(feedings.front().calls, setup);
  for (std::size_t i = 1; i < feedings.size(); ++i) {
    const Result other = filterWith(feedings[i].calls, setup);
    EXPECT_EQ(other.output, first.output) << "fed as " << feedings[i].name;
    EXPECT_EQ(other.counts, first.counts) << "fed as " << feedings[i].name;
    EXPECT_EQ(other.statusMessages.size(), first.statusMessages.size()) << "fed as " << feedings[i].name;
  }
  return first;
}

// A message with what the entities must make of it, fed every way.
struct FilterCase {
  const char* what;
  Setup setup;
  std::string message;
  std::string output;
  std::map<std::string, int> counts;
};

// Each case through filterEveryWay, its output and counts as given; `quiet` demands besides
// that it reports no status message.
inline void expectCases(const std::vector<FilterCase>& cases, bool quiet = false) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result = filterEveryWay(c.message, c.setup);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.counts, c.counts);
    if (quiet) {
      EXPECT_TRUE(result.statusMessages.empty());
    }
  }
}

inline void expectQuietCases(const std::vector<FilterCase>& cases) {
  expectCases(cases, true);
}

}  // namespace EngineTest
