#pragma once

// Runs whole messages through the MessageProcessor on a fake settings interface, at a fixed
// processing time, and collects what the message log and the mail program would get.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/MessageDate.h"
#include "engine/MessageProcessor.h"
#include "mailparser/LineFeeding.h"
#include "support/FakeMessageProcessorInterface.h"

namespace ProcessorTest {

// Wed, 01 May 2024 10:00:00 +0200
inline const MailParser::MessageDate Now{2024, 5, 1, 10, 0, 0, 120};

using Setup = std::function<void(FakeMessageProcessorInterface&)>;

struct Result {
  std::string output;  // every output call followed by CR LF
  std::map<std::string, int> counts;
  std::vector<std::pair<int, std::string>> statusMessages;
  std::string senderAddress;
  std::string subject;
  TDateTime messageDate = 0;
  int messageZoneOffsetMinutes = 0;

  friend bool operator==(const Result&, const Result&) = default;
};

inline Result collect(const FakeMessageProcessorInterface& settings) {
  Result result;
  for (const auto& line : settings.lines) {
    result.output += line;
    result.output += "\r\n";
  }
  result.counts = settings.counts;
  result.statusMessages = settings.statusMessages;
  result.senderAddress = settings.senderAddress;
  result.subject = settings.subject;
  result.messageDate = settings.messageDate;
  result.messageZoneOffsetMinutes = settings.messageZoneOffsetMinutes;
  return result;
}

inline Result processWith(const std::vector<std::string>& calls, const Setup& setup) {
  FakeMessageProcessorInterface settings;
  if (setup) {
    setup(settings);
  }
  {
    MailParser::MessageProcessor processor(settings, Now);
    for (const auto& call : calls) {
      processor.processLine(call);
    }
    processor.end();
  }
  return collect(settings);
}

// The message (CR LF text) fed one line per call, in the other ways of LineFeeding.h, and
// whole in one call; all must agree, and the first is returned.
inline Result processEveryWay(std::string_view message, const Setup& setup = {}) {
  auto feedings = MailParserTest::feedingsOf(message);
  if (!message.empty()) {
    std::string_view whole = message;
    if (whole.ends_with("\r\n")) whole.remove_suffix(2);
    feedings.push_back({"the whole message in one call", {std::string(whole)}});
  }
  const Result first = processWith(feedings.front().calls, setup);
  for (std::size_t i = 1; i < feedings.size(); ++i) {
    EXPECT_EQ(processWith(feedings[i].calls, setup), first) << "fed as " << feedings[i].name;
  }
  return first;
}

}  // namespace ProcessorTest
