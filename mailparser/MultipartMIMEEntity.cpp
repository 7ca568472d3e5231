#include "mailparser/MultipartMIMEEntity.h"

#include <utility>

#include "common/AsciiCase.h"
#include "mailparser/HeaderSyntax.h"

namespace MailParser {

namespace {

constexpr std::string_view kDigestPartType = "message/rfc822";

std::string boundaryOf(const MIMEEntityHeader& header) {
  const auto found = header.contentType.parameters.find(std::string_view("boundary"));
  return found == header.contentType.parameters.end() ? std::string() : found->second;
}

}  // namespace

MultipartMIMEEntity::MultipartMIMEEntity(MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity)
    : MIMEEntity(std::move(entityHeader)), parent(parentEntity), boundary(boundaryOf(header)) {}

MultipartMIMEEntity::~MultipartMIMEEntity() = default;

MultipartMIMEEntity::Delimiter MultipartMIMEEntity::delimiterIn(std::string_view line) const noexcept {
  // Nearly every line is body text: rule it out with three comparisons before trimming.
  if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-') {
    return Delimiter::None;
  }
  std::size_t length = line.size();
  while (line[length - 1] == ' ' || line[length - 1] == '\t') {
    --length;  // stops at the leading "--" at the latest
  }
  if (line.substr(2, boundary.size()) != boundary) {
    return Delimiter::None;
  }
  if (length == boundary.size() + 2) {
    return Delimiter::Next;
  }
  if (length == boundary.size() + 4 && line[length - 2] == '-' && line[length - 1] == '-') {
    return Delimiter::Close;
  }
  return Delimiter::None;
}

void MultipartMIMEEntity::processLine(std::string_view line) {
  if (state == State::Finished) {
    // The epilogue: a delimiter here must not reopen a multipart that has already closed.
    return;
  }
  switch (delimiterIn(line)) {
    case Delimiter::Close:
      noteDelimiter();
      close();
      return;
    case Delimiter::Next:
      noteDelimiter();
      finishPart();
      state = State::PartHeader;
      partHeader = std::make_unique<MIMEEntityHeader>();
      return;
    case Delimiter::None:
      break;
  }
  switch (state) {
    case State::PartHeader:
      partHeader->addLine(line);
      if (line.empty()) {
        state = State::PartBody;
        const bool digest = caseInsensitiveEquals(header.contentType.subtype, "digest");
        partHeader->initialise(digest ? kDigestPartType : DefaultContentType);
        part = createEntity(*partHeader);
      }
      break;
    case State::PartBody:
      if (part) {
        part->processLine(line);
      }
      break;
    case State::Preamble:
      preambleLine(line);
      break;
    case State::Finished:
      break;
  }
}

void MultipartMIMEEntity::noteDelimiter() {
  if (!delimiterSeen_) {
    delimiterSeen_ = true;
    preambleEnded();
  }
}

void MultipartMIMEEntity::preambleLine(std::string_view /*line*/) {}

void MultipartMIMEEntity::preambleEnded() {}

void MultipartMIMEEntity::finishPart() {
  if (state == State::PartBody && part) {
    part->end();
  }
  part.reset();
  partHeader.reset();
}

void MultipartMIMEEntity::close() {
  finishPart();
  state = State::Finished;
  closed();
}

void MultipartMIMEEntity::end() {
  if (state != State::Finished) {
    close();
  }
}

}  // namespace MailParser
