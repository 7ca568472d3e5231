#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "html/IHTMLHandler.h"

// Records tokenizer events as one line of text, so that a test compares a whole event stream
// with one string:
//   "text"  or  "raw"=>"decoded"      text
//   <key  or  <key(Raw)               startTag (the raw name only where it differs from the key)
//   @key="value"  or  @key="raw"=>"decoded"   attribute;  @key  attributeWithoutValue
//   >                                 startTagEnd
//   raw"content"                      rawContent
//   </key                             endTag
//   !--"text"  !"text"  ?"text"       comment, declaration, processing instruction
//   $                                 endDocument
// Events are separated by one space. Non-ASCII and control characters are shown as \uXXXX.
class RecordingHandler : public HTMLFilter::IHTMLHandler {
 public:
  static std::string show(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text) {
      if (c >= 0x20 && c < 0x7F) {
        out.push_back(static_cast<char>(c));
      } else {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
        out += buffer;
      }
    }
    return out;
  }

  const std::string& events() const { return events_; }

  void text(std::u16string_view raw, std::u16string_view decoded) override {
    add(quoted(raw) + (raw == decoded ? "" : "=>" + quoted(decoded)));
  }
  void startTag(std::u16string_view rawName, std::string_view key) override { add("<" + name(rawName, key)); }
  void attribute(std::u16string_view rawName, std::string_view key, std::u16string_view rawValue,
                 std::u16string_view decodedValue) override {
    add("@" + name(rawName, key) + "=" + quoted(rawValue) +
        (rawValue == decodedValue ? "" : "=>" + quoted(decodedValue)));
  }
  void attributeWithoutValue(std::u16string_view rawName, std::string_view key) override {
    add("@" + name(rawName, key));
  }
  void startTagEnd() override { add(">"); }
  void rawContent(std::u16string content) override { add("raw" + quoted(content)); }
  void endTag(std::u16string_view rawName, std::string_view key) override { add("</" + name(rawName, key)); }
  void comment(std::u16string_view text) override { add("!--" + quoted(text)); }
  void declaration(std::u16string_view text) override { add("!" + quoted(text)); }
  void processingInstruction(std::u16string_view text) override { add("?" + quoted(text)); }
  void endDocument() override { add("$"); }

 private:
  static std::string quoted(std::u16string_view text) { return "\"" + show(text) + "\""; }
  static std::string name(std::u16string_view rawName, std::string_view key) {
    const std::string raw = show(rawName);
    return std::string(key) + (raw == key ? "" : "(" + raw + ")");
  }
  void add(const std::string& event) {
    if (!events_.empty()) events_ += ' ';
    events_ += event;
  }

  std::string events_;
};
