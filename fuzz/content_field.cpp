// Parses the input as Content-Type and Content-Disposition values, and as a header block
// that then goes through every editing operation. Checks what callers rely on: serialised
// content fields read back to themselves, parameter for parameter; a value of any bytes put
// into a file name is read back as the same name, so what the attachment rules judge is
// what a reader shows; parameter lines fit their limit; a header writes back what it read,
// the index always finds the fields in the list, truncation keeps every line within the
// limit, and a normalised entity header is made only of proper header lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/AsciiCase.h"
#include "fuzz/FuzzCheck.h"
#include "mailparser/ContentDispositionField.h"
#include "mailparser/ContentField.h"
#include "mailparser/ContentTypeField.h"
#include "mailparser/Header.h"
#include "mailparser/HeaderField.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntityHeader.h"

namespace {

using namespace MailParser;

// Parameter names here are short enough for every piece of a value to fit a line.
constexpr std::size_t kShortName = 100;

void checkParameterLines(const ContentField& field, const std::string& text) {
  for (const auto& [name, value] : field.parameters) {
    if (name.size() > kShortName) {
      return;
    }
  }
  // The main value is written as it was read, line breaks and all.
  std::size_t start = text.find("\r\n", field.mainValue().size());
  while (start != std::string::npos) {
    const std::size_t end = text.find("\r\n", start + 2);
    const std::size_t length = (end == std::string::npos ? text.size() : end) - start - 2;
    check(length <= MaxParameterLineLength, "every parameter line fits the limit");
    start = end;
  }
}

template <typename Field>
void checkReadsBackItsOwnOutput(std::string_view value) {
  Field field;
  field.parse(value);
  for (const auto& [name, parameter] : field.parameters) {
    check(name.find('*') == std::string::npos, "no RFC 2231 piece is kept under a name of its own");
    if (field.rawCharsets.count(name) == 0) {
      for (const char c : parameter) {
        check(static_cast<unsigned char>(c) >= 0x20, "no control byte in a value");
      }
    }
  }
  const std::string once = field.toString();
  checkParameterLines(field, once);
  Field again;
  again.parse(once);
  check(again.parameters == field.parameters && again.rawCharsets == field.rawCharsets,
        "a content field reads back its own parameters");
  check(again.toString() == once, "a content field reads back its own output");
}

// What the entity code does: puts a name of its own under "filename".
void checkFileNameRoundTrip(std::string_view name) {
  ContentDispositionField field;
  field.parameters["filename"] = std::string(name);
  const std::string written = field.toString();
  checkParameterLines(field, written);
  ContentDispositionField reread;
  reread.parse(written);
  std::string withoutControls;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x20) {
      withoutControls += c;
    }
  }
  check(reread.parameters.size() == 1 && reread.parameters["filename"] == withoutControls,
        "a file name is read back as it was written");
}

std::vector<std::string_view> crLfLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    check(end != std::string_view::npos, "every serialised line ends in CR LF");
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void checkIndex(Header& header) {
  for (const HeaderField& field : header.fields()) {
    check(field.inHeader, "fields in a header are marked so");
    const HeaderField* found = header.findField(field.name);
    check(found != nullptr && caseInsensitiveEquals(found->name, field.name), "the index finds every field");
    check(header.hasField(field.name, true) && header.hasField(field.name, false),
          "hasField sees every field");
  }
}

// Lines as the message parser hands them over: cut at CR and at LF.
Header headerFrom(std::string_view text) {
  Header header;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    header.addLine(text.substr(start, end - start));
    start = end + 1;
  }
  return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  checkReadsBackItsOwnOutput<ContentTypeField>(input);
  checkReadsBackItsOwnOutput<ContentDispositionField>(input);
  checkFileNameRoundTrip(input);
  HeaderField stripped("Content-Type", std::string(input));
  stripComments(stripped);
  // Stripping twice changes nothing more, except where a line break inside a quote ends it
  // and the removed comment was what followed the break: the second pass then sees a fold.
  if (input.find_first_of("\r\n") == std::string_view::npos) {
    HeaderField strippedTwice(stripped);
    check(!stripComments(strippedTwice) && strippedTwice.value == stripped.value,
          "stripping twice changes nothing");
  }
  checkReadsBackItsOwnOutput<ContentTypeField>(stripped.value);

  Header header = headerFrom(input);
  const std::string text = header.toString();
  check(headerFrom(text).toString() == text, "a header writes back what it read");
  checkIndex(header);

  // Editing, with names and a limit taken from the input itself.
  const std::size_t limit = size == 0 ? 0 : data[0];
  Header copy(header);
  if (!copy.fields().empty()) {
    const std::string first = copy.fields().front().name;
    const std::string prefix = first.substr(0, first.size() / 2);
    copy.removeFields(prefix, false);
    check(!copy.hasField(prefix, false), "removal by prefix removes every such field");
    copy.removeFields(first, true);
    check(copy.findField(first) == nullptr, "removal by name removes every such field");
  }
  checkIndex(copy);
  header.addField("Received", "from fuzz", true);
  header.removeRepeatedFields("content-");
  header.removeRepeatedFields("");
  checkIndex(header);
  header.removeInvalidNames();
  for (const HeaderField& field : header.fields()) {
    for (const char c : field.name) {
      check(c > 0x20 && c < 0x7F, "no invalid name survives removeInvalidNames");
    }
  }

  MIMEEntityHeader entity(header);
  const std::string entityText = entity.toString();
  bool firstLine = true;
  for (const auto line : crLfLines(entityText)) {
    check(line.find_first_of("\r\n") == std::string_view::npos, "no bare CR or LF in a part header");
    const bool continuation = !line.empty() && (line.front() == ' ' || line.front() == '\t');
    const auto colon = line.find(':');
    check(firstLine ? (!continuation && colon != std::string_view::npos && colon > 0)
                    : (continuation || (colon != std::string_view::npos && colon > 0)),
          "a part header is made of field lines");
    firstLine = false;
  }

  header.truncateLongLines(limit);
  checkIndex(header);
  if (limit >= 2) {
    for (const auto line : crLfLines(header.toString())) {
      check(line.size() <= limit, "truncation keeps every line within the limit");
    }
  }
  return 0;
}
