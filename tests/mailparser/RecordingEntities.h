#pragma once

// Entities and a parser that write every event they see into a text trace, one event per
// line, indented by nesting depth, so a test can compare a whole parse at a glance:
//
//   headers Subject,Content-Type     the parser's headersComplete (field names in order)
//   create multipart/mixed           an entity was made for this type
//     create text/plain              ...a part of it, one level down
//     | a body line                  a line the part received
//     end                            the part's end()
//   closed                           the multipart's closed()
//   body: a line                     bodyLineWithoutEntity (not MIME)
//   end-without-entity               endWithoutEntity
//
// With `withHeaders` set, every "create" is followed by the entity's header as it would be
// written, one "# " line per header line.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "LineFeeding.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace MailParserTest {

class Trace {
 public:
  void add(int depth, std::string_view event) {
    text_.append(static_cast<std::size_t>(depth) * 2, ' ');
    text_ += event;
    text_ += '\n';
  }
  [[nodiscard]] const std::string& text() const { return text_; }

  bool withHeaders = false;

 private:
  std::string text_;
};

inline std::string typeOf(const MailParser::MIMEEntityHeader& header) {
  return header.contentType.type + "/" + header.contentType.subtype;
}

class RecordingSingleEntity : public MailParser::MIMEEntity {
 public:
  RecordingSingleEntity(MailParser::MIMEEntityHeader entityHeader, Trace& trace, int depth)
      : MIMEEntity(std::move(entityHeader)), trace_(trace), depth_(depth) {}

  void processLine(std::string_view line) override { trace_.add(depth_, "| " + std::string(line)); }
  void end() override { trace_.add(depth_, "end"); }

 private:
  Trace& trace_;
  int depth_;
};

class RecordingMultipart : public MailParser::MultipartMIMEEntity {
 public:
  // Deeper multiparts are recorded as single entities, which keeps a hostile input cheap.
  static constexpr int kMaxDepth = 8;

  RecordingMultipart(MailParser::MIMEEntityHeader entityHeader, RecordingMultipart* parentEntity,
                     Trace& trace)
      : MultipartMIMEEntity(std::move(entityHeader), parentEntity), trace_(trace) {}

  // How many multiparts enclose this one, read from the parent chain.
  [[nodiscard]] int depth() const {
    int depth = 0;
    for (const MultipartMIMEEntity* p = parent; p != nullptr; p = p->parent) {
      ++depth;
    }
    return depth;
  }

 protected:
  std::unique_ptr<MailParser::MIMEEntity> createEntity(
      const MailParser::MIMEEntityHeader& partHeader) override;
  void closed() override { trace_.add(depth(), "closed"); }

 private:
  Trace& trace_;
};

// Makes the recording entity for `header` at `depth`, logging its creation.
inline std::unique_ptr<MailParser::MIMEEntity> makeRecordingEntity(const MailParser::MIMEEntityHeader& header,
                                                                   RecordingMultipart* parent, Trace& trace,
                                                                   int depth) {
  trace.add(depth, "create " + typeOf(header));
  if (trace.withHeaders) {
    for (const auto& line : splitCrLfLines(header.toString())) {
      trace.add(depth, "# " + line);
    }
  }
  if (header.contentType.isMultipart() && depth < RecordingMultipart::kMaxDepth) {
    return std::make_unique<RecordingMultipart>(header, parent, trace);
  }
  return std::make_unique<RecordingSingleEntity>(header, trace, depth);
}

inline std::unique_ptr<MailParser::MIMEEntity> RecordingMultipart::createEntity(
    const MailParser::MIMEEntityHeader& partHeader) {
  return makeRecordingEntity(partHeader, this, trace_, depth() + 1);
}

// Makes a MIME message's top-level entity the way the message processor does: a multipart
// or a single part for a MIME header, nothing for a plain message.
class RecordingParser : public MailParser::MessageParser {
 public:
  Trace trace;

 protected:
  void headersComplete() override {
    std::string names;
    for (const auto& field : header.fields()) {
      names += names.empty() ? "" : ",";
      names += field.name;
    }
    trace.add(0, "headers " + names);
    if (MailParser::isMIME(header)) {
      entity = makeRecordingEntity(MailParser::MIMEEntityHeader(header), nullptr, trace, 0);
    }
  }
  void bodyLineWithoutEntity(std::string_view line) override { trace.add(0, "body: " + std::string(line)); }
  void endWithoutEntity() override { trace.add(0, "end-without-entity"); }
};

// Feeds the calls to a fresh parser, ends it and returns the trace.
inline std::string traceOf(const std::vector<std::string>& calls, bool withHeaders = false) {
  RecordingParser parser;
  parser.trace.withHeaders = withHeaders;
  for (const auto& call : calls) {
    parser.processLine(call);
  }
  parser.end();
  return parser.trace.text();
}

// The message (CR LF text) must give `expected` however its lines are cut into calls.
inline void expectTraceEveryWay(std::string_view message, const std::string& expected, std::string_view what,
                                bool withHeaders = false) {
  for (const auto& feeding : feedingsOf(message)) {
    EXPECT_EQ(traceOf(feeding.calls, withHeaders), expected) << what << " (" << feeding.name << ")";
  }
}

}  // namespace MailParserTest
