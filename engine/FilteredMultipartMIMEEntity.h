#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EntityLimits.h"
#include "mailparser/IMessageProcessorInterface.h"
#include "mailparser/IOutputLine.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace MailParser {

// The most text before the first delimiter that is held: a body whose boundary never occurs
// is all such text, and is written as a text part once the multipart ends. The bytes of the
// lines count, with a line break each.
inline constexpr std::size_t MaxBufferedPreambleBytes = MaxBufferedHTMLBytes;

// Writes a multipart back out in a normalised form: a Content-Type of its own (one of the
// five known multipart subtypes, anything else as "mixed"; only the new boundary, and for
// "related" its "type", "start" and "start-info"), one filtered child per part, and the
// delimiter of a part only once that part writes something, so a part whose child writes
// nothing (a blocked attachment) vanishes together with its delimiter.
//
// The boundary is "<prefix>_multipart_boundary_<level>=_", so nested multiparts never share
// one, and no child line can pass for a delimiter: a line of child output that begins with
// "--" + the boundary gets one more "-" in front. A multipart that would open nesting level
// MaxNestingLevel is removed with its whole content and counted as a blocked attachment.
//
// A multipart that would close having written no part (every part removed, or none there)
// gets one text/plain part that says its content was removed, as MIME wants at least one. A
// body in which no delimiter ever occurs is not dropped as a preamble: it is written as one
// text/plain part, filtered as any such part is, unless it outgrows MaxBufferedPreambleBytes,
// when it is removed, counted as blocked and reported in a warning status line. A preamble
// that a delimiter follows is dropped.
class FilteredMultipartMIMEEntity : public MultipartMIMEEntity {
 public:
  // `settings` and `out` are borrowed; `attachmentCounter` is the message's counter for
  // invented file names (FilteredSingleMIMEEntity). `parentEntity` is the enclosing filtered
  // multipart, or null at the top of a message; `level` is the nesting level when there is no
  // parent (0 for the body of the message, the level of the holding part for an attached
  // message) and is ignored otherwise (the parent's level + 1). The header goes out at once.
  FilteredMultipartMIMEEntity(IMessageProcessorInterface& settings, MIMEEntityHeader entityHeader,
                              IOutputLine& out, int& attachmentCounter,
                              FilteredMultipartMIMEEntity* parentEntity = nullptr, int level = 0);
  ~FilteredMultipartMIMEEntity() override;

  [[nodiscard]] int level() const noexcept { return level_; }
  [[nodiscard]] const std::string& newBoundary() const noexcept { return newBoundary_; }

 protected:
  [[nodiscard]] std::unique_ptr<MIMEEntity> createEntity(const MIMEEntityHeader& partHeader) override;
  void closed() override;
  void preambleLine(std::string_view line) override;
  void preambleEnded() override;
  // What a child writes, reached only through the child sink.
  virtual void childOutput(std::string_view text);

 private:
  class ChildSink : public IOutputLine {
   public:
    explicit ChildSink(FilteredMultipartMIMEEntity& owner) : owner_(owner) {}
    using IOutputLine::outputLine;
    void outputLine(std::string_view line) override { owner_.childOutput(line); }

   private:
    FilteredMultipartMIMEEntity& owner_;
  };

  void rewriteContentType();
  void writePreambleAsPart();
  void writeRemovedNotice();
  void dropPreamble();

  IMessageProcessorInterface& settings_;
  IOutputLine& out_;
  int& attachmentCounter_;
  const int level_;
  ChildSink childSink_{*this};
  bool partStarted_ = false;
  bool wrotePart_ = false;
  // The lines before the first delimiter, end to end, and their lengths.
  std::string preamble_;
  std::vector<std::size_t> preambleLines_;
  bool preambleTooLarge_ = false;
  std::string newBoundary_;
  std::string delimiter_;  // "--" + newBoundary_
};

}  // namespace MailParser
