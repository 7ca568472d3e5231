// Whole messages through the MessageProcessor under options drawn from the first two input
// bytes; the rest is the message, cut into lines at LF (CRs inside a line separate lines too).
// Properties: no exception escapes, whatever the content; every output line is one line (no
// CR or LF in it); no line is longer than 998 bytes, nor, in a MIME message, than the header
// line limit (one more for the "-" that keeps a header line from passing for a delimiter) or
// the body line limit, whichever is larger; a plain body keeps to the body line limit and holds
// no UUencode begin line when those are to be neutralised; and the output reads again as a
// message whose header starts with our Received field, has a Date and, for MIME, exactly one
// "MIME-Version: 1.0".

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MessageDate.h"
#include "engine/MessageProcessor.h"
#include "fuzz/FuzzCheck.h"
#include "mailparser/AttachmentTypeRule.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MessageParser.h"
#include "mailparser/TransferCodings.h"
#include "tests/support/FakeMessageProcessorInterface.h"

namespace {

using MailParser::AttachmentTypeRule;

// Reads the output back; only its header is looked at.
class Reader : public MailParser::MessageParser {
 public:
  bool complete = false;

 protected:
  void headersComplete() override { complete = true; }
  void bodyLineWithoutEntity(std::string_view /*line*/) override {}
  void endWithoutEntity() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned bits = data[0] | (data[1] << 8);
  FakeMessageProcessorInterface settings;
  auto& o = settings.options;
  o.UseSenderAddress = (bits & 1U) != 0;
  o.BlockMDNReadReceipts = (bits & 2U) != 0;
  o.BlockUUencodingInNonMime = (bits & 4U) != 0;
  o.DetectUUencodingInMime = (bits & 8U) != 0;
  o.AddEmailFooter = (bits & 0x10U) != 0;
  o.HTMLMessageTextHandling = static_cast<int>((bits >> 5) & 3U);
  o.HTMLAttachmentsHandling = static_cast<int>((bits >> 7) & 3U);
  o.RemoveScripting = (bits & 0x200U) != 0;
  o.ChangeMaliciousFilenames = (bits & 0x400U) != 0;
  o.MaxLineLength = (bits & 0x800U) != 0 ? 40 : 998;
  o.ReceivedHeaderValue = "from pop.example.org by qx for x\r\n\t(applied security profile: Medium)";
  settings.attachmentTypes = {
      {AttachmentTypeRule::block, "application", "x-msdownload", {"exe"}},
      {AttachmentTypeRule::rename, "application", "x-javascript", {"js"}},
      {AttachmentTypeRule::seeHTML, "text", "html", {"htm", "html"}},
      {static_cast<int>((bits >> 12) & 3U), "message", "rfc822", {"eml"}},
  };

  bool mime = false;
  try {
    MailParser::MessageProcessor processor(settings, MailParser::MessageDate{2024, 5, 1, 10, 0, 0, 120});
    const std::string_view message(reinterpret_cast<const char*>(data + 2), size - 2);
    std::size_t start = 0;
    while (start <= message.size()) {
      const auto lf = message.find('\n', start);
      processor.processLine(message.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start));
      if (lf == std::string_view::npos) break;
      start = lf + 1;
    }
    processor.end();
    mime = processor.entity != nullptr;
  } catch (const std::exception&) {
    check(false, "no exception escapes the processor");
  }

  std::vector<std::string_view> lines;
  for (const auto& call : settings.lines) {
    std::size_t start = 0;
    while (true) {
      const auto lineBreak = call.find("\r\n", start);
      lines.push_back(
          std::string_view(call).substr(start, lineBreak == std::string::npos ? std::string::npos : lineBreak - start));
      if (lineBreak == std::string::npos) break;
      start = lineBreak + 2;
    }
  }
  bool inBody = false;
  for (const auto line : lines) {
    check(line.find_first_of("\r\n") == std::string_view::npos, "no bare CR or LF in an output line");
    check(line.size() <= 998, "no output line longer than 998");
    if (mime) {
      check(line.size() <= std::max(o.MaxHeaderNameLineLength + 1, o.MaxLineLength),
            "MIME lines keep to the header or the body line limit");
    }
    if (!mime && inBody) {
      check(line.size() <= o.MaxLineLength || line.starts_with("----") || line == "processed",
            "plain body lines keep to the limit");
      check(!o.BlockUUencodingInNonMime || !MailParser::isUUEncodeBeginLine(line),
            "no begin line in a neutralised plain body");
    }
    if (line.empty()) inBody = true;
  }

  Reader reader;
  for (const auto line : lines) reader.processLine(line);
  reader.end();
  check(reader.complete, "the output reads again");
  const auto& fields = reader.header.fields();
  check(!fields.empty() && fields.front().name == "Received" &&
            fields.front().value == "from pop.example.org by qx for x\r\n\t(applied security profile: Medium)",
        "the header starts with our Received field");
  check(reader.header.hasField("date"), "the header has a Date");
  if (mime) {
    std::size_t versions = 0;
    for (const auto& field : fields) {
      if (caseInsensitiveEquals(field.name, "mime-version")) {
        ++versions;
        check(field.value == "1.0", "MIME-Version is 1.0");
      }
    }
    check(versions == 1, "one MIME-Version");
  }
  return 0;
}
