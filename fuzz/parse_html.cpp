// Tokenizes arbitrary text into HTMLRewriter and checks that the rewritten HTML is 7-bit and
// means what the input meant: parsed again it gives the same tags, attributes (name keys and
// decoded values) and end tags in the same order, and rewriting it once more changes nothing
// of its structure, raw content, comments, declarations or processing instructions.
//
// The input is read as FuzzText.h says, so the fuzzer reaches every code unit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzText.h"
#include "html/HTMLParser.h"
#include "html/HTMLRewriter.h"

namespace {

void appendWide(std::string& out, std::u16string_view text, bool replaceLoneSurrogates) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (replaceLoneSurrogates && c >= 0xD800 && c <= 0xDFFF) {
      const bool paired =
          c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      if (paired) {
        out.push_back(static_cast<char>(c >> 8));
        out.push_back(static_cast<char>(c));
        c = text[++i];
      } else {
        c = 0xFFFD;
      }
    }
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c));
  }
}

// The structure of a parse as one string. Tags only: start tags with their attributes and
// end tags (the rewriter writes an attribute whose key is empty not at all, and a lone
// surrogate as U+FFFD). With everything set, also raw content, comments, declarations and
// processing instructions.
class Structure : public HTMLFilter::IHTMLHandler {
 public:
  explicit Structure(bool everything) : everything_(everything) {}
  std::string trace;

  void text(std::u16string_view, std::u16string_view) override {}
  void startTag(std::u16string_view, std::string_view key) override { add('<', key); }
  void attribute(std::u16string_view, std::string_view key, std::u16string_view,
                 std::u16string_view decodedValue) override {
    if (key.empty()) return;
    add('@', key);
    appendWide(trace, decodedValue, true);
  }
  void attributeWithoutValue(std::u16string_view, std::string_view key) override {
    if (!key.empty()) add('@', key);
  }
  void startTagEnd() override { add('>', {}); }
  void rawContent(std::u16string content) override { addText('R', content); }
  void endTag(std::u16string_view, std::string_view key) override { add('/', key); }
  void comment(std::u16string_view t) override { addText('C', t); }
  void declaration(std::u16string_view t) override { addText('D', t); }
  void processingInstruction(std::u16string_view t) override { addText('P', t); }
  void endDocument() override { add('$', {}); }

 private:
  void add(char kind, std::string_view key) {
    trace.push_back('\n');
    trace.push_back(kind);
    trace += key;
    trace.push_back('=');
  }
  void addText(char kind, std::u16string_view t) {
    if (!everything_) return;
    add(kind, {});
    appendWide(trace, t, false);
  }

  bool everything_;
};

std::string structureOf(std::u16string_view html, bool everything) {
  Structure structure(everything);
  HTMLFilter::parseHTML(structure, html, false);
  return structure.trace;
}

std::string rewrite(std::u16string_view html) {
  HTMLFilter::HTMLRewriter rewriter;
  HTMLFilter::parseHTML(rewriter, html, false);
  return rewriter.takeOutput();
}

std::u16string widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string input = fuzzTextAsWide(data, size);
  const std::string once = rewrite(input);
  for (const char c : once) check(static_cast<unsigned char>(c) < 0x80, "rewritten HTML is 7-bit");
  const std::u16string onceWide = widen(once);
  check(structureOf(input, false) == structureOf(onceWide, false), "rewriting keeps tags and attributes");
  const std::u16string twiceWide = widen(rewrite(onceWide));
  check(structureOf(onceWide, true) == structureOf(twiceWide, true), "structure is stable after one rewrite");
  return 0;
}
