#include "mailparser/MultipartMIMEEntity.h"

#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MessageParser.h"

namespace MailParser {

namespace {

constexpr std::string_view kDigestPartType = "message/rfc822";

std::string boundaryOf(const MIMEEntityHeader& header) {
  const auto found = header.contentType.parameters.find(std::string_view("boundary"));
  return found == header.contentType.parameters.end() ? std::string() : found->second;
}

}  // namespace

// The message parser, stopped at the end of the header: a part header ends where a message
// header would, by the same rule and within the same limits. The line that ends it, when it
// is no empty line, is kept for the part's body.
class MultipartMIMEEntity::PartHeaderReader final : public MessageParser {
 public:
  std::vector<std::string> bodyLines;

 protected:
  void headersComplete() override {}
  void bodyLineWithoutEntity(std::string_view line) override { bodyLines.emplace_back(line); }
  void endWithoutEntity() override {}
};

MultipartMIMEEntity::MultipartMIMEEntity(MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity)
    : MIMEEntity(std::move(entityHeader)), parent(parentEntity), boundary(boundaryOf(header)) {}

MultipartMIMEEntity::~MultipartMIMEEntity() = default;

void MultipartMIMEEntity::partHeaderLine(std::string_view line) {
  headerReader_->processLine(line);
  if (!headerReader_->inBody) {
    return;
  }
  for (const HeaderField& field : headerReader_->header.fields()) {
    partHeader->addField(field.name, field.value);
  }
  std::vector<std::string> bodyLines = std::move(headerReader_->bodyLines);
  headerReader_.reset();
  state = State::PartBody;
  const bool digest = caseInsensitiveEquals(header.contentType.subtype, "digest");
  partHeader->initialise(digest ? kDigestPartType : DefaultContentType);
  part = createEntity(*partHeader);
  if (part) {
    for (const std::string& bodyLine : bodyLines) {
      part->processLine(bodyLine);
    }
  }
}

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
      headerReader_ = std::make_unique<PartHeaderReader>();
      return;
    case Delimiter::None:
      break;
  }
  switch (state) {
    case State::PartHeader:
      partHeaderLine(line);
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
  headerReader_.reset();
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
