#pragma once

#include <string>
#include <string_view>

namespace HTMLFilter {

// What the tokenizer reports, one call per construct, in document order.
//
// Every view passed to an operation is valid only during that call: it may point into the
// document or into a scratch buffer that the tokenizer reuses. A handler that keeps a string
// copies it. Name keys are lower case and hold only a-z, 0-9, ":" and "-" (see normaliseName).
// Decoded text and values have their character references replaced and U+0000 removed.
//
// The order is fixed: startTag, then any attribute and attributeWithoutValue calls in
// document order, then exactly one startTagEnd, never interleaved with anything else.
class IHTMLHandler {
 public:
  virtual ~IHTMLHandler() = default;

  // A run of character data. Outside "pre" every whitespace run in it is one space.
  virtual void text(std::u16string_view raw, std::u16string_view decoded) = 0;
  virtual void startTag(std::u16string_view rawName, std::string_view key) = 0;
  // An attribute with a complete value; rawValue is as written, without its quotes.
  virtual void attribute(std::u16string_view rawName, std::string_view key, std::u16string_view rawValue,
                         std::u16string_view decodedValue) = 0;
  // An attribute written without "=".
  virtual void attributeWithoutValue(std::u16string_view rawName, std::string_view key) = 0;
  virtual void startTagEnd() = 0;
  // The unparsed content of a "script", "style" or "comment" element; the handler owns it.
  virtual void rawContent(std::u16string content) = 0;
  virtual void endTag(std::u16string_view rawName, std::string_view key) = 0;
  virtual void comment(std::u16string_view text) = 0;
  // The text between "<!" and ">", such as a document type.
  virtual void declaration(std::u16string_view text) = 0;
  // The text between "<?" and ">"; a trailing "?" stays in it.
  virtual void processingInstruction(std::u16string_view text) = 0;
  // The end of a whole document; never sent for a fragment.
  virtual void endDocument() = 0;
};

}  // namespace HTMLFilter
