// quorix_html_roundtrip: runs HTML files through the tokenizer into the HTML rewriter, with no
// filter between them, so that a browser can compare what it builds from the original with
// what it builds from our output (tests/browser/compare-tokenizer.js).
//
//   quorix_html_roundtrip [--view rewriter|events] IN_DIR OUT_DIR
//
// Every *.html file of IN_DIR is read as UTF-8 bytes (a byte-order mark wins), parsed as one
// whole document and written under the same name to OUT_DIR.
//
// --view rewriter (the default) writes exactly what HTMLRewriter makes of the events.
// --view events writes only what a filter between the two could judge: start tags, attributes,
// end tags and text as the rewriter writes them, but comments, the raw content of "script",
// "style" and "comment", processing instructions and declarations other than a document type
// with their text left out. The rewriter copies those texts, so markup inside them that the
// tokenizer never saw (say "<!--><img onerror=...>") reappears in its output and a browser
// finds it on both sides; leaving them out makes such markup show as missing.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FileBytes.h"
#include "html/HTMLParser.h"
#include "html/HTMLRewriter.h"
#include "html/IHTMLHandler.h"
#include "mailparser/Charsets.h"

namespace {

namespace fs = std::filesystem;
using HTMLFilter::IHTMLHandler;

// Passes every event on, but the texts that the rewriter would copy unparsed as empty ones.
class EventsOnly final : public IHTMLHandler {
 public:
  explicit EventsOnly(IHTMLHandler& next) : next_(next) {}

  void text(std::u16string_view raw, std::u16string_view decoded) override { next_.text(raw, decoded); }
  void startTag(std::u16string_view rawName, std::string_view key) override { next_.startTag(rawName, key); }
  void attribute(std::u16string_view rawName, std::string_view key, std::u16string_view rawValue,
                 std::u16string_view decodedValue) override {
    next_.attribute(rawName, key, rawValue, decodedValue);
  }
  void attributeWithoutValue(std::u16string_view rawName, std::string_view key) override {
    next_.attributeWithoutValue(rawName, key);
  }
  void startTagEnd() override { next_.startTagEnd(); }
  void rawContent(std::u16string) override { next_.rawContent(std::u16string()); }
  void endTag(std::u16string_view rawName, std::string_view key) override { next_.endTag(rawName, key); }
  void comment(std::u16string_view) override { next_.comment(std::u16string_view()); }
  // A document type stays: it decides whether the browser parses in quirks mode. Its text
  // ends at the first ">", as in a browser, and holds no markup.
  void declaration(std::u16string_view text) override {
    next_.declaration(isDocumentType(text) ? text : std::u16string_view());
  }
  void processingInstruction(std::u16string_view) override {
    next_.processingInstruction(std::u16string_view());
  }
  void endDocument() override { next_.endDocument(); }

 private:
  static bool isDocumentType(std::u16string_view text) {
    static constexpr std::string_view doctype = "doctype";
    if (text.size() < doctype.size()) return false;
    for (std::size_t i = 0; i < doctype.size(); ++i) {
      const char16_t c = text[i];
      if (c > 0x7F || std::tolower(static_cast<unsigned char>(c)) != doctype[i]) return false;
    }
    return true;
  }

  IHTMLHandler& next_;
};

std::string roundTrip(const std::string& bytes, bool eventsOnly) {
  const std::u16string text = MailParser::toWide(bytes, "utf-8", true);
  HTMLFilter::HTMLRewriter rewriter;
  rewriter.reserve(bytes.size() + bytes.size() / 4 + 64);
  if (eventsOnly) {
    EventsOnly events(rewriter);
    HTMLFilter::parseHTML(events, text, false);
  } else {
    HTMLFilter::parseHTML(rewriter, text, false);
  }
  return rewriter.takeOutput();
}

int usage(const char* message) {
  if (message) std::cerr << "quorix_html_roundtrip: " << message << '\n';
  std::cerr << "usage: quorix_html_roundtrip [--view rewriter|events] IN_DIR OUT_DIR\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool eventsOnly = false;
  std::vector<std::string> dirs;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--view") {
      if (i + 1 == argc) return usage("--view needs a value");
      const std::string_view view = argv[++i];
      if (view != "rewriter" && view != "events") return usage("--view is rewriter or events");
      eventsOnly = view == "events";
    } else if (arg.starts_with("--")) {
      return usage("unknown option");
    } else {
      dirs.emplace_back(arg);
    }
  }
  if (dirs.size() != 2) return usage("give one input and one output folder");

  try {
    const fs::path in = dirs[0];
    const fs::path out = dirs[1];
    if (!fs::is_directory(in)) throw std::runtime_error(in.string() + " is not a folder");
    fs::create_directories(out);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(in)) {
      if (entry.is_regular_file() && entry.path().extension() == ".html") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) writeFileBytes(out / file.filename(), roundTrip(readFileBytes(file), eventsOnly));
    std::cerr << "quorix_html_roundtrip: " << files.size() << " files written to " << out.string() << '\n';
  } catch (const std::exception& e) {
    std::cerr << "quorix_html_roundtrip: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
