// Filters arbitrary text (parseHTML into HTMLFilter into HTMLRewriter) under a profile drawn
// from the first two input bytes, and checks what a reader's browser would get: with scripting
// removed, the written HTML parsed again holds no "script" tag, no event attribute and no
// value that is a javascript: or vbscript: URL. A document the filter refuses (its one error)
// yields no output to check.
//
// The rest of the input is read as FuzzText.h says, so every code unit the filter meets in
// mail is reachable.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzText.h"
#include "html/FilterDocument.h"
#include "html/HTMLFilter.h"
#include "html/HTMLParser.h"
#include "tests/support/FakeMessageProcessorInterface.h"

namespace {

bool isActiveURL(std::u16string_view value) {
  std::string seen;
  for (const char16_t c : value) {
    if (seen.empty() && c <= 0x20) continue;
    if (seen.size() == 11) break;
    // Letter case is ASCII only: no other character reads as a letter of a scheme.
    seen.push_back(c >= u'A' && c <= u'Z' ? static_cast<char>(c - u'A' + u'a') : c < 0x80 ? static_cast<char>(c) : '?');
  }
  return seen.rfind("javascript:", 0) == 0 || seen.rfind("vbscript:", 0) == 0;
}

// What a browser would run, seen in the written HTML.
class ScriptFinder : public HTMLFilter::IHTMLHandler {
 public:
  void text(std::u16string_view, std::u16string_view) override {}
  void startTag(std::u16string_view, std::string_view key) override { check(key != "script", "no script tag"); }
  void attribute(std::u16string_view, std::string_view key, std::u16string_view,
                 std::u16string_view decodedValue) override {
    check(key.substr(0, 2) != "on", "no event attribute");
    check(!isActiveURL(decodedValue), "no javascript: or vbscript: value");
  }
  void attributeWithoutValue(std::u16string_view, std::string_view key) override {
    check(key.substr(0, 2) != "on", "no event attribute");
  }
  void startTagEnd() override {}
  void rawContent(std::u16string) override {}
  void endTag(std::u16string_view, std::string_view) override {}
  void comment(std::u16string_view) override {}
  void declaration(std::u16string_view) override {}
  void processingInstruction(std::u16string_view) override {}
  void endDocument() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned bits = data[0] | (data[1] << 8);
  FakeMessageProcessorInterface fake;
  auto& o = fake.options;
  o.RemoveNonStandardHTML = (bits & 1U) != 0;
  o.RemoveScripting = (bits & 2U) != 0;
  o.RemoveEmbedding = (bits & 4U) != 0;
  o.RemoveFrames = (bits & 8U) != 0;
  o.BlockExternalCSS = (bits & 16U) != 0;
  o.RemoveBLINKTags = (bits & 32U) != 0;
  o.RemoveBGSOUNDTags = (bits & 64U) != 0;
  o.RemoveMETATags = (bits & 128U) != 0;
  o.Block1x1Images = (bits & 256U) != 0;
  o.BlockExternalImages = (bits & 512U) != 0;
  o.BlockImagesWithVariables = (bits & 1024U) != 0;
  o.BlockImagesWithIdentifiers = (bits & 2048U) != 0;
  o.BlockImagesWithIdentifiersSensitivity = static_cast<int>((bits >> 12) & 3U);
  o.BlockImagesWithCookies = (bits & 0x4000U) != 0;
  o.MaxURLLength = (bits & 0x8000U) != 0 ? 12 : 1000;
  const std::u16string input = fuzzTextAsWide(data + 2, size - 2);
  std::string written;
  try {
    written = HTMLFilter::filterDocument(input, fake, false);
  } catch (const std::runtime_error& e) {
    check(std::string_view(e.what()) == HTMLFilter::HTMLFilter::kTagMismatchError, "only the filter's one error");
    return 0;
  }
  for (const char c : written) check(static_cast<unsigned char>(c) < 0x80, "written HTML is 7-bit");
  if (o.RemoveScripting) {
    ScriptFinder finder;
    HTMLFilter::parseHTML(finder, std::u16string(written.begin(), written.end()), false);
  }
  return 0;
}
