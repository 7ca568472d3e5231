#include "engine/FilteredMultipartMIMEEntity.h"

#include <array>
#include <utility>

#include "common/AsciiCase.h"
#include "engine/EngineTexts.h"
#include "engine/EntityLimits.h"
#include "engine/FilteredSingleMIMEEntity.h"
#include "mailparser/HeaderSyntax.h"

namespace MailParser {

namespace {

constexpr std::array<std::string_view, 5> kKnownSubtypes = {"mixed", "alternative", "digest", "parallel",
                                                            "related"};
constexpr std::array<std::string_view, 3> kRelatedParameters = {"type", "start", "start-info"};

}  // namespace

FilteredMultipartMIMEEntity::FilteredMultipartMIMEEntity(IMessageProcessorInterface& settings,
                                                         MIMEEntityHeader entityHeader, IOutputLine& out,
                                                         int& attachmentCounter,
                                                         FilteredMultipartMIMEEntity* parentEntity, int level)
    : MultipartMIMEEntity(std::move(entityHeader), parentEntity),
      settings_(settings),
      out_(out),
      attachmentCounter_(attachmentCounter),
      level_(parentEntity != nullptr ? parentEntity->level_ + 1 : level) {
  newBoundary_ = settings_.getBoundaryPrefix() + "_multipart_boundary_" + std::to_string(level_) + "=_";
  delimiter_ = "--" + newBoundary_;
  rewriteContentType();
  out_.outputLine(header.toString());
}

FilteredMultipartMIMEEntity::~FilteredMultipartMIMEEntity() = default;

void FilteredMultipartMIMEEntity::rewriteContentType() {
  ContentTypeField& type = header.contentType;
  std::string subtype = "mixed";
  for (const std::string_view known : kKnownSubtypes) {
    if (caseInsensitiveEquals(type.subtype, known)) {
      subtype = known;
    }
  }
  ContentField::Parameters kept;
  ContentField::Parameters keptCharsets;
  if (subtype == "related") {
    for (const std::string_view name : kRelatedParameters) {
      if (const auto found = type.parameters.find(name); found != type.parameters.end()) {
        kept.insert(*found);
      }
      if (const auto found = type.rawCharsets.find(name); found != type.rawCharsets.end()) {
        keptCharsets.insert(*found);
      }
    }
  }
  kept["boundary"] = newBoundary_;
  type.type = "multipart";
  type.subtype = std::move(subtype);
  type.parameters = std::move(kept);
  type.rawCharsets = std::move(keptCharsets);
}

std::unique_ptr<MIMEEntity> FilteredMultipartMIMEEntity::createEntity(const MIMEEntityHeader& partHeader) {
  MIMEEntityHeader childHeader(partHeader);
  childHeader.removeInvalidNames();
  // Cut as the message's own header is: a mail program reads a part header the same way.
  cutLongHeaderLines(childHeader, settings_.getMaxHeaderNameLineLength());
  partStarted_ = false;
  if (childHeader.contentType.isMultipart()) {
    if (level_ + 1 >= MaxNestingLevel) {
      // Null drops the part's lines unread: whatever nests below costs one test per line.
      settings_.countAttachmentBlocked();
      return nullptr;
    }
    return std::make_unique<FilteredMultipartMIMEEntity>(settings_, std::move(childHeader), childSink_,
                                                         attachmentCounter_, this);
  }
  return std::make_unique<FilteredSingleMIMEEntity>(settings_, std::move(childHeader), childSink_,
                                                    attachmentCounter_, false,
                                                    header.contentType.subtype == "alternative", level_ + 1);
}

void FilteredMultipartMIMEEntity::childOutput(std::string_view text) {
  if (!partStarted_) {
    partStarted_ = true;
    wrotePart_ = true;
    out_.outputLine(delimiter_);
  }
  // A child may write several lines at once (a header, a converted text); each of them must
  // be kept from reading as a delimiter, not only the first.
  const auto startsWithDelimiter = [this](std::string_view rest) { return rest.starts_with(delimiter_); };
  bool escaped = startsWithDelimiter(text);
  for (auto lineBreak = text.find("\r\n"); !escaped && lineBreak != std::string_view::npos;
       lineBreak = text.find("\r\n", lineBreak + 2)) {
    escaped = startsWithDelimiter(text.substr(lineBreak + 2));
  }
  if (!escaped) {
    out_.outputLine(text);
    return;
  }
  std::string safe;
  safe.reserve(text.size() + 16);
  std::size_t start = 0;
  while (true) {
    const auto lineBreak = text.find("\r\n", start);
    const std::string_view line =
        text.substr(start, lineBreak == std::string_view::npos ? std::string_view::npos : lineBreak - start);
    if (startsWithDelimiter(line)) {
      safe += '-';
      // A body line the child kept to the line limit keeps to it escaped: its last byte
      // goes to a line of its own, too short to pass for anything.
      if (const std::size_t limit = settings_.getMaxLineLength(); line.size() == limit) {
        safe += line.substr(0, limit - 1);
        safe += "\r\n";
        safe += line.substr(limit - 1);
      } else {
        safe += line;
      }
    } else {
      safe += line;
    }
    if (lineBreak == std::string_view::npos) {
      break;
    }
    safe += "\r\n";
    start = lineBreak + 2;
  }
  out_.outputLine(safe);
}

void FilteredMultipartMIMEEntity::preambleLine(std::string_view line) {
  if (preambleTooLarge_) {
    return;
  }
  if (preamble_.size() + 2 * preambleLines_.size() + line.size() + 2 > MaxBufferedPreambleBytes) {
    preambleTooLarge_ = true;
    dropPreamble();
    return;
  }
  preamble_ += line;
  preambleLines_.push_back(line.size());
}

void FilteredMultipartMIMEEntity::preambleEnded() {
  preambleTooLarge_ = false;
  dropPreamble();
}

void FilteredMultipartMIMEEntity::dropPreamble() {
  preamble_.clear();
  preamble_.shrink_to_fit();
  preambleLines_.clear();
  preambleLines_.shrink_to_fit();
}

// No delimiter came, so what was read as a preamble is the whole body: mail programs show it
// as text, so it is filtered as text, not dropped.
void FilteredMultipartMIMEEntity::writePreambleAsPart() {
  if (preambleTooLarge_) {
    settings_.countAttachmentBlocked();
    settings_.outputStatusMessage(
        IMessageProcessorInterface::statusWarning,
        "The text of a multipart whose boundary never occurs was removed from the message: "
        "it is larger than 16 MB, too large to hold.");
    return;
  }
  if (preambleLines_.empty()) {
    return;
  }
  MIMEEntityHeader textHeader;
  textHeader.initialise(DefaultContentType);
  partStarted_ = false;
  FilteredSingleMIMEEntity text(settings_, std::move(textHeader), childSink_, attachmentCounter_, false,
                                header.contentType.subtype == "alternative", level_ + 1);
  std::size_t start = 0;
  for (const std::size_t length : preambleLines_) {
    text.processLine(std::string_view(preamble_).substr(start, length));
    start += length;
  }
  text.end();
  dropPreamble();
}

void FilteredMultipartMIMEEntity::writeRemovedNotice() {
  MIMEEntityHeader notice;
  notice.initialise(DefaultContentType);
  notice.contentType.parameters["charset"] = "us-ascii";
  notice.transferEncoding = TransferEncoding::SevenBit;
  out_.outputLine(delimiter_);
  out_.outputLine(notice.toString());
  out_.outputLine(EngineTexts::rsAllPartsRemoved);
}

void FilteredMultipartMIMEEntity::closed() {
  if (!delimiterSeen()) {
    writePreambleAsPart();
  }
  if (!wrotePart_) {
    writeRemovedNotice();
  }
  out_.outputLine(delimiter_ + "--");
}

}  // namespace MailParser
