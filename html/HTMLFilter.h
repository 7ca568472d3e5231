#pragma once

#include <map>
#include <string>
#include <string_view>

#include "html/IHTMLHandler.h"
#include "html/URL.h"

namespace MailParser {
class IMessageProcessorInterface;
}

namespace HTMLFilter {

// Sits between the tokenizer and a writer (in practice an HTMLRewriter): every event passes
// through it and is dropped, rewritten or forwarded according to the profile behind
// `settings`, which also counts what goes. Injects the footer HTML once per document, before
// the first "</body>" or "</html>" or at the end.
//
// Raises std::runtime_error(kTagMismatchError) when the content of an element whose
// content it drops is not closed by that element's end tag. The writer's output is then
// incomplete and must not be used: the caller treats the document as one it cannot filter.
class HTMLFilter : public IHTMLHandler {
 public:
  static constexpr std::string_view kTagMismatchError = "close tag after block tag contents did not match open tag";

  // Neither is owned; both must outlive the filter.
  HTMLFilter(IHTMLHandler& downstream, MailParser::IMessageProcessorInterface& settings);

  void text(std::u16string_view raw, std::u16string_view decoded) override;
  void startTag(std::u16string_view rawName, std::string_view key) override;
  void attribute(std::u16string_view rawName, std::string_view key, std::u16string_view rawValue,
                 std::u16string_view decodedValue) override;
  void attributeWithoutValue(std::u16string_view rawName, std::string_view key) override;
  void startTagEnd() override;
  void rawContent(std::u16string content) override;
  void endTag(std::u16string_view rawName, std::string_view key) override;
  void comment(std::u16string_view text) override;
  void declaration(std::u16string_view text) override;
  void processingInstruction(std::u16string_view text) override;
  void endDocument() override;

  struct AttributeData {
    std::u16string rawName;
    std::u16string rawValue;
    std::u16string decodedValue;
  };

 private:
  IHTMLHandler& downstream_;
  MailParser::IMessageProcessorInterface& settings_;
  bool footerDone_ = false;
  URL baseURL_;
  std::u16string baseTarget_;
  std::u16string tagRawName_;
  std::string tagName_;
  std::map<std::string, AttributeData, std::less<>> attributes_;
  std::map<std::string, std::u16string, std::less<>> valuelessAttributes_;
  bool skipContent_ = false;
};

}  // namespace HTMLFilter
