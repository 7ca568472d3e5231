// Whole messages through the filtered entities under options drawn from the first two input
// bytes: nothing may escape, and a multipart message keeps its structure: the only lines that
// begin with the top-level delimiter after the message's header are the delimiters the multipart wrote itself, and the
// last line closes it. Every line of every part passes through that multipart, so a child line
// that could end it early or open a part of its own would show here. The rest of the input is
// the message, cut into lines at LF (a CR inside a line separates lines as well).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FilteredMultipartMIMEEntity.h"
#include "engine/FilteredSingleMIMEEntity.h"
#include "fuzz/FuzzCheck.h"
#include "mailparser/AttachmentTypeRule.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "tests/support/FakeMessageProcessorInterface.h"

namespace {

using MailParser::AttachmentTypeRule;

class Driver : public MailParser::MessageParser {
 public:
  explicit Driver(FakeMessageProcessorInterface& settings) : settings_(settings) {}
  bool multipart = false;

 protected:
  void headersComplete() override {
    MailParser::MIMEEntityHeader entityHeader(header);
    multipart = entityHeader.contentType.isMultipart();
    if (multipart) {
      entity = std::make_unique<MailParser::FilteredMultipartMIMEEntity>(settings_, std::move(entityHeader), settings_,
                                                                         counter_);
    } else {
      entity = std::make_unique<MailParser::FilteredSingleMIMEEntity>(settings_, std::move(entityHeader), settings_,
                                                                      counter_, true, false);
    }
  }
  void bodyLineWithoutEntity(std::string_view) override {}
  void endWithoutEntity() override {}

 private:
  FakeMessageProcessorInterface& settings_;
  int counter_ = 1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned bits = data[0] | (data[1] << 8);
  FakeMessageProcessorInterface settings;
  auto& o = settings.options;
  o.ChangeMaliciousFilenames = (bits & 1U) != 0;
  o.DetectUUencodingInMime = (bits & 2U) != 0;
  o.HTMLMessageTextHandling = static_cast<int>((bits >> 2) & 7U) - 1;  // -1 to 6: some unknown
  o.HTMLAttachmentsHandling = static_cast<int>((bits >> 5) & 3U);
  o.RenameHTMLAttachments = (bits & 0x80U) != 0;
  o.AddEmailFooter = (bits & 0x100U) != 0;
  o.RemoveScripting = (bits & 0x200U) != 0;
  o.MaxLineLength = (bits & 0x400U) != 0 ? 20 : 998;
  o.MaxFilenameLength = (bits & 0x800U) != 0 ? 8 : 249;
  settings.attachmentTypes = {
      {AttachmentTypeRule::block, "application", "x-msdownload", {"exe"}},
      {AttachmentTypeRule::rename, "application", "x-javascript", {"js"}},
      {AttachmentTypeRule::seeHTML, "text", "html", {"htm", "html"}},
      {static_cast<int>((bits >> 12) & 3U), "message", "rfc822", {"eml"}},
  };
  settings.extensionsByMIMEType = {{"image/gif", "gif"}};

  bool multipart = false;
  {
    Driver driver(settings);
    const std::string_view message(reinterpret_cast<const char*>(data + 2), size - 2);
    std::size_t start = 0;
    while (start <= message.size()) {
      const auto lf = message.find('\n', start);
      driver.processLine(message.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start));
      if (lf == std::string_view::npos) break;
      start = lf + 1;
    }
    driver.end();
    multipart = driver.multipart;
  }
  if (!multipart) return 0;

  const std::string delimiter = "--qx_multipart_boundary_0=_";
  const std::string closing = delimiter + "--";
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
  check(!lines.empty() && lines.back() == closing, "the multipart is closed last");
  // The message's own header comes first; a field there is no body line, whatever its name.
  std::size_t body = 0;
  while (body < lines.size() && !lines[body].empty()) ++body;
  for (std::size_t i = body; i + 1 < lines.size(); ++i) {
    check(!lines[i].starts_with(delimiter) || lines[i] == delimiter, "no child line reads as a delimiter");
  }
  return 0;
}
