#include "mailparser/EncodedWords.h"

#include <optional>
#include <string>

#include "common/AsciiCase.h"
#include "common/HexDigits.h"
#include "mailparser/TransferCodings.h"

namespace MailParser {

namespace {

struct EncodedWord {
  std::string_view charset;
  std::string bytes;
  std::size_t end = 0;  // just past the closing "?="
};

bool isBase64Symbol(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// The body decoder wants whole groups of four; a word's text may lack its padding.
std::string decodeBText(std::string_view text) {
  std::string symbols;
  for (const char c : text) {
    if (c == '=') {
      break;
    }
    if (isBase64Symbol(c)) {
      symbols += c;
    }
  }
  if (symbols.size() % 4 == 1) {
    symbols.pop_back();  // six bits make no byte
  }
  while (symbols.size() % 4 != 0) {
    symbols += '=';
  }
  return decodeBase64(symbols);
}

std::string decodeQText(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      bytes += ' ';
    } else if (const int byte = hexEscapeAt(text, i, '='); byte >= 0) {
      bytes += static_cast<char>(byte);
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

bool hasBlank(std::string_view text) {
  return text.find_first_of(" \t") != std::string_view::npos;
}

// The word that starts at `start` (with "=?"), if it is a whole one.
std::optional<EncodedWord> wordAt(std::string_view text, std::size_t start) {
  const std::size_t charsetStart = start + 2;
  const auto charsetEnd = text.find('?', charsetStart);
  if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?') {
    return std::nullopt;
  }
  std::string_view charset = text.substr(charsetStart, charsetEnd - charsetStart);
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 adds a language after "*"
  const char coding = text[charsetEnd + 1];
  const std::size_t textStart = charsetEnd + 3;
  const auto textEnd = text.find('?', textStart);
  if (!isCharsetLabel(charset) || textEnd == std::string_view::npos || textEnd + 1 >= text.size() ||
      text[textEnd + 1] != '=') {
    return std::nullopt;
  }
  const std::string_view encoded = text.substr(textStart, textEnd - textStart);
  if (hasBlank(encoded)) {
    return std::nullopt;
  }
  EncodedWord word;
  word.charset = charset;
  word.end = textEnd + 2;
  if (coding == 'B' || coding == 'b') {
    word.bytes = decodeBText(encoded);
  } else if (coding == 'Q' || coding == 'q') {
    word.bytes = decodeQText(encoded);
  } else {
    return std::nullopt;
  }
  return word;
}

class Decoder {
 public:
  void addWord(const EncodedWord& word) {
    blanks_.clear();  // between two words they only separate
    if (!runCharset_.empty() && !caseInsensitiveEquals(runCharset_, word.charset)) {
      flushRun();
    }
    runCharset_ = word.charset;
    run_ += word.bytes;
    afterWord_ = true;
  }

  void addByte(char c) {
    if (afterWord_ && (c == ' ' || c == '\t')) {
      blanks_ += c;
      return;
    }
    flushRun();
    result_.bytes += blanks_;
    blanks_.clear();
    result_.bytes += c;
    afterWord_ = false;
  }

  ParameterText finish() {
    flushRun();
    result_.bytes += blanks_;
    return std::move(result_);
  }

 private:
  void flushRun() {
    if (runCharset_.empty()) {
      return;
    }
    if (auto converted = convertedToUTF8(run_, runCharset_)) {
      result_.bytes += *converted;
    } else {
      result_.bytes += run_;
      if (result_.charset.empty()) {
        result_.charset = runCharset_;
      }
    }
    run_.clear();
    runCharset_ = {};
  }

  ParameterText result_;
  std::string run_;  // bytes of neighbouring words in one charset
  std::string_view runCharset_;
  std::string blanks_;  // after a word, until it is known whether another word follows
  bool afterWord_ = false;
};

}  // namespace

bool isFileNameParameter(std::string_view name) noexcept {
  return caseInsensitiveEquals(name, "filename") || caseInsensitiveEquals(name, "name");
}

ParameterText decodeEncodedWords(std::string_view text) {
  if (text.find("=?") == std::string_view::npos) {
    return {std::string(text), {}};  // nearly every name
  }
  Decoder decoder;
  std::size_t position = 0;
  while (position < text.size()) {
    if (text.compare(position, 2, "=?") == 0) {
      if (const auto word = wordAt(text, position)) {
        decoder.addWord(*word);
        position = word->end;
        continue;
      }
    }
    decoder.addByte(text[position]);
    ++position;
  }
  return decoder.finish();
}

}  // namespace MailParser
