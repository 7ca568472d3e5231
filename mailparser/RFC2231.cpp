#include "mailparser/RFC2231.h"

#include <algorithm>
#include <vector>

#include "common/HexDigits.h"
#include "mailparser/ContentField.h"
#include "mailparser/EncodedWords.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/ParameterText.h"

namespace MailParser {

namespace {

constexpr std::size_t kMaxSectionDigits = 9;
// A piece holds at least this many bytes of value, so even a name too long for any line
// still gets its value written, in a bounded number of pieces per byte.
constexpr std::size_t kMinPieceLength = 16;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// RFC 2231 attribute-char: what an extended value may hold without a percent sign.
bool isAttributeChar(char c) {
  constexpr std::string_view kSpecials = "()<>@,;:\\\"/[]?=*'%";
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte < 0x7F && kSpecials.find(c) == std::string_view::npos;
}

bool isPrintableASCII(std::string_view value) {
  return std::all_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte <= 0x7F;
  });
}

bool readsAsEncodedWords(std::string_view name, std::string_view value) {
  return isFileNameParameter(name) && decodeEncodedWords(value).bytes != value;
}

bool isUTF8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Appends one value byte in its written form: quoted (escaped where needed) or
// percent-encoded.
void appendWrittenByte(std::string& out, char c, bool extended) {
  const auto byte = static_cast<unsigned char>(c);
  if (!extended) {
    appendQuotedByte(out, c);
  } else if (isAttributeChar(c)) {
    out += c;
  } else {
    out += '%';
    out += kUpperHexDigits[byte >> 4];
    out += kUpperHexDigits[byte & 0x0F];
  }
}

struct WrittenForm {
  bool extended = false;
  bool utf8 = false;  // extended in UTF-8: pieces are cut between characters only
  std::string lead;   // before the value in the first piece: "UTF-8''"
};

// The bytes of one character (UTF-8) or one byte, starting at `position`.
std::size_t unitEnd(std::string_view value, std::size_t position, bool utf8) {
  std::size_t end = position + 1;
  while (utf8 && end < value.size() && isUTF8Continuation(value[end])) {
    ++end;
  }
  return end;
}

std::string writtenValue(std::string_view value, bool extended) {
  std::string written;
  written.reserve(value.size() * (extended ? 3 : 1));
  for (const char c : value) {
    appendWrittenByte(written, c, extended);
  }
  return written;
}

// The written value cut into pieces that, with what goes before them on their line, fit
// MaxParameterLineLength where the name leaves room for it.
std::vector<std::string> writtenPieces(std::string_view name, std::string_view value,
                                       const WrittenForm& form) {
  // "\t" name "*" number ["*"] "=" ["\""] piece ["\""] ";"
  const auto roomFor = [&](std::size_t number) {
    const std::size_t fixed = 1 + name.size() + 1 + std::to_string(number).size() + (form.extended ? 2 : 3) +
                              (form.extended ? 0 : 1) + 1;
    return std::max(kMinPieceLength, MaxParameterLineLength > fixed ? MaxParameterLineLength - fixed : 0);
  };
  std::vector<std::string> pieces;
  std::string piece = form.lead;
  std::size_t room = roomFor(0);
  bool pieceHasValue = false;
  std::string unit;
  std::size_t position = 0;
  while (position < value.size()) {
    const std::size_t end = unitEnd(value, position, form.utf8);
    unit.clear();
    for (std::size_t i = position; i < end; ++i) {
      appendWrittenByte(unit, value[i], form.extended);
    }
    if (pieceHasValue && piece.size() + unit.size() > room) {
      pieces.push_back(std::move(piece));
      piece.clear();
      room = roomFor(pieces.size());
    }
    piece += unit;
    pieceHasValue = true;
    position = end;
  }
  pieces.push_back(std::move(piece));
  return pieces;
}

void appendLine(std::string& text, std::string_view name, std::optional<std::size_t> number, bool extended,
                std::string_view piece) {
  text += ";\r\n\t";
  text += name;
  if (number) {
    text += '*';
    text += std::to_string(*number);
  }
  text += extended ? "*=" : "=\"";
  text += piece;
  if (!extended) {
    text += '"';
  }
}

}  // namespace

std::optional<ParameterName> parseParameterName(std::string_view name) noexcept {
  const auto star = name.find('*');
  if (star == std::string_view::npos) {
    return ParameterName{name, std::nullopt, false};
  }
  ParameterName parsed{name.substr(0, star), std::nullopt, false};
  if (parsed.base.empty()) {
    return std::nullopt;
  }
  std::string_view rest = name.substr(star + 1);
  if (rest.empty()) {
    parsed.extended = true;
    return parsed;
  }
  if (rest.back() == '*') {
    parsed.extended = true;
    rest.remove_suffix(1);
  }
  if (rest.empty() || rest.size() > kMaxSectionDigits || (rest.size() > 1 && rest.front() == '0') ||
      !std::all_of(rest.begin(), rest.end(), isDigit)) {
    return std::nullopt;
  }
  std::size_t section = 0;
  for (const char c : rest) {
    section = section * 10 + static_cast<std::size_t>(c - '0');
  }
  parsed.section = section;
  return parsed;
}

std::string percentDecode(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (const int byte = hexEscapeAt(text, i, '%'); byte >= 0) {
      bytes += static_cast<char>(byte);
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

void splitExtendedValue(std::string_view value, std::string_view& charset, std::string_view& rest) noexcept {
  const auto first = value.find('\'');
  const auto second = first == std::string_view::npos ? first : value.find('\'', first + 1);
  if (second == std::string_view::npos) {
    charset = {};
    rest = value;
    return;
  }
  charset = value.substr(0, first);
  rest = value.substr(second + 1);
}

void appendParameter(std::string& text, std::string_view name, std::string_view given,
                     std::string_view rawCharset) {
  if (!isCharsetLabel(rawCharset)) {
    rawCharset = {};  // a label that cannot be written is no label
  }
  // Control bytes are never written, so the form is chosen by what is left without them;
  // raw text keeps the shift bytes its charset may need, as reading does.
  std::string value;
  for (const char c : given) {
    if (static_cast<unsigned char>(c) >= 0x20 || (!rawCharset.empty() && isShiftByte(c))) {
      value += c;
    }
  }
  WrittenForm form;
  // A reader decodes encoded words in a quoted file name, never in an extended one: what it
  // shows must be the value the attachment rules judged.
  const bool mustBeExtended = readsAsEncodedWords(name, value);
  if (!rawCharset.empty()) {
    form.extended = true;
    form.lead = std::string(rawCharset) + "''";
  } else if (isWellFormedUTF8(value) ? (mustBeExtended || !isPrintableASCII(value)) : mustBeExtended) {
    form.extended = true;
    form.utf8 = isWellFormedUTF8(value);
    // Bytes of no known charset that must not go quoted get the label RFC 1428 has for them.
    form.lead = std::string(form.utf8 ? std::string_view("UTF-8") : UnknownCharset) + "''";
  }
  const std::string whole = form.lead + writtenValue(value, form.extended);
  const std::size_t singleLength =
      1 + name.size() + (form.extended ? 2 : 3) + whole.size() + (form.extended ? 0 : 1) + 1;
  if (singleLength <= MaxParameterLineLength) {
    appendLine(text, name, std::nullopt, form.extended, whole);
    return;
  }
  const auto pieces = writtenPieces(name, value, form);
  if (pieces.size() == 1) {
    appendLine(text, name, std::nullopt, form.extended, whole);
    return;
  }
  for (std::size_t number = 0; number < pieces.size(); ++number) {
    appendLine(text, name, number, form.extended, pieces[number]);
  }
}

}  // namespace MailParser
