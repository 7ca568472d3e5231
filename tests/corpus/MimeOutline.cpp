// What our own parser makes of messages, for the corpus check (check-corpus.py):
//
//   quorix_mime_outline FILE...      per file "== FILE", one "part DEPTH TYPE/SUBTYPE LINES"
//                                    line per entity and "defects N": multiparts that never
//                                    saw their closing delimiter
//   quorix_mime_outline --policy NAME  the built-in profile's attachment policy, one
//                                    "TYPE ACTION EXT;EXT" line per row
//
// Lines are fed as quorix-filter feeds them: split at LF, a trailing CR removed.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/BuiltInSecurityProfiles.h"
#include "config/TAttachmentFileType.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace {

struct Outline {
  std::string text;
  int defects = 0;
};

std::string typeOf(const MailParser::MIMEEntityHeader& header) {
  return header.contentType.type + "/" + header.contentType.subtype;
}

class OutlinedPart : public MailParser::MIMEEntity {
 public:
  OutlinedPart(const MailParser::MIMEEntityHeader& header, Outline& outline, int depth)
      : MIMEEntity(header), outline_(outline), depth_(depth), type_(typeOf(header)) {}
  void processLine(std::string_view /*line*/) override { ++lines_; }
  void end() override {
    outline_.text += "part " + std::to_string(depth_) + " " + type_ + " " + std::to_string(lines_) + "\n";
  }

 private:
  Outline& outline_;
  int depth_;
  std::string type_;
  long lines_ = 0;
};

std::unique_ptr<MailParser::MIMEEntity> makeEntity(const MailParser::MIMEEntityHeader& header,
                                                   MailParser::MultipartMIMEEntity* parent, Outline& outline,
                                                   int depth);

class OutlinedMultipart : public MailParser::MultipartMIMEEntity {
 public:
  OutlinedMultipart(const MailParser::MIMEEntityHeader& header, MultipartMIMEEntity* parentEntity, Outline& outline,
                    int depth)
      : MultipartMIMEEntity(header, parentEntity), outline_(outline), depth_(depth) {
    outline_.text += "part " + std::to_string(depth_) + " " + typeOf(header) + " -\n";
  }
  ~OutlinedMultipart() override {
    if (!closedByDelimiter_) ++outline_.defects;
  }
  OutlinedMultipart(const OutlinedMultipart&) = delete;
  OutlinedMultipart& operator=(const OutlinedMultipart&) = delete;

  void processLine(std::string_view line) override {
    MultipartMIMEEntity::processLine(line);
    if (state == State::Finished) closedByDelimiter_ = true;
  }

 protected:
  std::unique_ptr<MailParser::MIMEEntity> createEntity(const MailParser::MIMEEntityHeader& header) override {
    return makeEntity(header, this, outline_, depth_ + 1);
  }
  void closed() override {}

 private:
  Outline& outline_;
  int depth_;
  bool closedByDelimiter_ = false;
};

std::unique_ptr<MailParser::MIMEEntity> makeEntity(const MailParser::MIMEEntityHeader& header,
                                                   MailParser::MultipartMIMEEntity* parent, Outline& outline,
                                                   int depth) {
  if (header.contentType.isMultipart()) return std::make_unique<OutlinedMultipart>(header, parent, outline, depth);
  return std::make_unique<OutlinedPart>(header, outline, depth);
}

class OutlineParser : public MailParser::MessageParser {
 public:
  Outline outline;

 protected:
  void headersComplete() override {
    if (MailParser::isMIME(header)) entity = makeEntity(MailParser::MIMEEntityHeader(header), nullptr, outline, 0);
  }
  void bodyLineWithoutEntity(std::string_view /*line*/) override { ++plainLines_; }
  void endWithoutEntity() override { outline.text += "part 0 plain " + std::to_string(plainLines_) + "\n"; }

 private:
  long plainLines_ = 0;
};

int printPolicy(std::string_view name) {
  const TSecurityProfile* profile = BuiltInSecurityProfileTemplate(name);
  if (profile == nullptr) {
    std::cerr << "no built-in profile " << name << "\n";
    return 1;
  }
  const TAttachmentFileTypes& types = profile->AttachmentFileTypes;
  for (int i = 0; i < types.GetCount(); ++i) {
    const TAttachmentFileType* type = types.AttachmentFileType(i);
    std::cout << type->MIMEType << " " << type->Action << " " << type->GetExtensionsList() << "\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 2 && arguments[0] == "--policy") return printPolicy(arguments[1]);
  for (const std::string& file : arguments) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << file << "\n";
      return 1;
    }
    const std::string message{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    OutlineParser parser;
    std::size_t start = 0;
    while (start < message.size()) {
      const std::size_t lf = message.find('\n', start);
      std::string_view line = std::string_view(message).substr(start, lf == std::string::npos ? lf : lf - start);
      if (line.ends_with('\r')) line.remove_suffix(1);
      parser.processLine(line);
      if (lf == std::string::npos) break;
      start = lf + 1;
    }
    parser.end();
    parser.entity.reset();  // counts the multiparts left open
    std::cout << "== " << file << "\n" << parser.outline.text << "defects " << parser.outline.defects << "\n";
  }
  return 0;
}
