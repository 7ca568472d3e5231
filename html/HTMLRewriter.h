#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "html/IHTMLHandler.h"

namespace HTMLFilter {

// Writes the events back as HTML in one canonical, 7-bit form: names as their lower-case
// keys, every value double-quoted and entity-encoded, text entity-encoded. What it writes
// verbatim (the content of "script" and "style", comments, declarations, processing
// instructions) never carries a non-ASCII character either: each is escaped in the way of
// its language, so that no character can turn into a different one, least of all into "<"
// or ">".
class HTMLRewriter : public IHTMLHandler {
 public:
  HTMLRewriter() = default;

  const std::string& output() const { return output_; }
  std::string takeOutput() { return std::move(output_); }
  // Room for about this many bytes of output, to spare the string its regrowth (and the
  // page faults of each new, larger block). A caller that knows the length of the text it
  // parses reserves about twice that: every character that becomes a reference grows.
  void reserve(std::size_t bytes) { output_.reserve(bytes); }

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

 private:
  // The start tags whose key the writer acts on: "br" and "p" get line breaks after them,
  // "style" and "script" decide how raw content is escaped.
  enum class Tag : std::uint8_t { other, br, p, style, script };

  std::string output_;
  // Whether a start tag is being written (between startTag and startTagEnd), and which.
  bool tagOpen_ = false;
  Tag openTag_ = Tag::other;
  // The last start tag, which owns any raw content that follows.
  Tag rawContentTag_ = Tag::other;
};

}  // namespace HTMLFilter
