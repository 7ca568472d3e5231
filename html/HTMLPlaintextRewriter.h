#pragma once

#include <string>
#include <string_view>

#include "html/IHTMLHandler.h"

namespace HTMLFilter {

// Renders the events as plain text with CRLF line breaks: only visible text is kept, and
// "br", "p", "div", "tr" and "li" tags become line breaks. Non-ASCII text is written as
// UTF-8 when utf8 is set, and as "?" otherwise (the output then is plain ASCII).
class HTMLPlaintextRewriter : public IHTMLHandler {
 public:
  explicit HTMLPlaintextRewriter(bool utf8) : utf8_(utf8) {}

  const std::string& output() const { return output_; }
  std::string takeOutput() { return std::move(output_); }

  void text(std::u16string_view raw, std::u16string_view decoded) override;
  void startTag(std::u16string_view rawName, std::string_view key) override;
  void attribute(std::u16string_view, std::string_view, std::u16string_view, std::u16string_view) override {}
  void attributeWithoutValue(std::u16string_view, std::string_view) override {}
  void startTagEnd() override {}
  void rawContent(std::u16string) override {}
  void endTag(std::u16string_view rawName, std::string_view key) override;
  void comment(std::u16string_view) override {}
  void declaration(std::u16string_view) override {}
  void processingInstruction(std::u16string_view) override {}
  void endDocument() override {}

 private:
  void lineBreaks(std::string_view key);

  const bool utf8_;
  std::string output_;
  // Line breaks written since the last visible text. Starting at 2 makes text at the start of
  // the document get none in front of it, and lose a leading space.
  int lineBreaks_ = 2;
};

}  // namespace HTMLFilter
