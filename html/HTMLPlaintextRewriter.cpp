#include "html/HTMLPlaintextRewriter.h"

#include "mailparser/UTF8.h"

namespace HTMLFilter {

void HTMLPlaintextRewriter::text(std::u16string_view, std::u16string_view decoded) {
  if (!decoded.empty() && lineBreaks_ > 0 && decoded.front() == u' ') decoded.remove_prefix(1);
  if (decoded.empty()) return;
  lineBreaks_ = 0;
  output_.reserve(output_.size() + decoded.size() * (utf8_ ? 3 : 1));
  std::size_t i = 0;
  while (i < decoded.size()) {
    std::size_t run = i;
    while (run < decoded.size() && decoded[run] < 0x80) ++run;
    for (; i < run; ++i) output_.push_back(static_cast<char>(decoded[i]));
    if (i == decoded.size()) break;
    // A run of non-ASCII text, up to the next no-break space or ASCII character.
    run = i;
    while (run < decoded.size() && decoded[run] >= 0x80 && decoded[run] != 0xA0) ++run;
    if (run == i) {
      output_.push_back(' ');
      ++i;
    } else if (utf8_) {
      MailParser::encodeUTF8(output_, decoded.substr(i, run - i));
      i = run;
    } else {
      for (; i < run; ++i) {
        // A surrogate pair is one character and gets one "?".
        if (decoded[i] >= 0xD800 && decoded[i] <= 0xDBFF && i + 1 < run && decoded[i + 1] >= 0xDC00 &&
            decoded[i + 1] <= 0xDFFF) {
          ++i;
        }
        output_.push_back('?');
      }
    }
  }
}

void HTMLPlaintextRewriter::lineBreaks(std::string_view key) {
  if (key == "br") {
    output_ += "\r\n";
    ++lineBreaks_;
  } else if (key == "div" || key == "tr" || key == "li") {
    if (lineBreaks_ == 0) {
      output_ += "\r\n";
      lineBreaks_ = 1;
    }
  } else if (key == "p") {
    while (lineBreaks_ < 2) {
      output_ += "\r\n";
      ++lineBreaks_;
    }
  }
}

void HTMLPlaintextRewriter::startTag(std::u16string_view, std::string_view key) {
  lineBreaks(key);
}

void HTMLPlaintextRewriter::endTag(std::u16string_view, std::string_view key) {
  lineBreaks(key);
}

}  // namespace HTMLFilter
