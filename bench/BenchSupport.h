// What the benchmarks share: the clock they time with, the test corpus they read, and the
// collection of the HTML parts of a message.
#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"
#include "mailparser/TransferCodings.h"

namespace Bench {

// The processor time of this thread alone: the machine the benchmarks run on is shared, and
// the ratios should not move with whatever else it does.
struct ThreadClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<ThreadClock>;
  static time_point now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return time_point(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
  }
};

inline double seconds(ThreadClock::duration d) { return std::chrono::duration<double>(d).count(); }

// The messages of the test corpus, found from this source's place in the tree so that the
// benchmark runs from any build folder.
inline std::filesystem::path corpusFolder() {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "tests" / "data" / "corpus";
}

// The corpus's .eml files, in the order the folder lists them.
inline std::vector<std::filesystem::path> corpusFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpusFolder())) {
    if (entry.is_regular_file() && entry.path().extension() == ".eml") files.push_back(entry.path());
  }
  return files;
}

inline std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace Detail {

// Appends the decoded body of a text/html part, then the separator.
class HTMLPart : public MailParser::MIMEEntity {
 public:
  HTMLPart(MailParser::MIMEEntityHeader entityHeader, std::string& out, std::string_view separator)
      : MIMEEntity(std::move(entityHeader)), out_(out), separator_(separator) {}
  void processLine(std::string_view line) override {
    body_ += line;
    body_ += "\r\n";
  }
  void end() override {
    out_ += MailParser::decodeBody(header.transferEncoding, body_);
    out_ += separator_;
  }

 private:
  std::string& out_;
  std::string_view separator_;
  std::string body_;
};

class IgnoredPart : public MailParser::MIMEEntity {
 public:
  using MIMEEntity::MIMEEntity;
  void processLine(std::string_view) override {}
  void end() override {}
};

inline std::unique_ptr<MailParser::MIMEEntity> makeHTMLPart(const MailParser::MIMEEntityHeader& header,
                                                            MailParser::MultipartMIMEEntity* parent,
                                                            std::string& out, std::string_view separator);

class Multipart : public MailParser::MultipartMIMEEntity {
 public:
  Multipart(MailParser::MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity, std::string& out,
            std::string_view separator)
      : MultipartMIMEEntity(std::move(entityHeader), parentEntity), out_(out), separator_(separator) {}

 protected:
  std::unique_ptr<MailParser::MIMEEntity> createEntity(
      const MailParser::MIMEEntityHeader& partHeader) override {
    return makeHTMLPart(partHeader, this, out_, separator_);
  }
  void closed() override {}

 private:
  std::string& out_;
  std::string_view separator_;
};

inline std::unique_ptr<MailParser::MIMEEntity> makeHTMLPart(const MailParser::MIMEEntityHeader& header,
                                                            MailParser::MultipartMIMEEntity* parent,
                                                            std::string& out, std::string_view separator) {
  if (header.contentType.isMultipart()) return std::make_unique<Multipart>(header, parent, out, separator);
  if (caseInsensitiveEquals(header.contentType.type, "text") &&
      caseInsensitiveEquals(header.contentType.subtype, "html")) {
    return std::make_unique<HTMLPart>(header, out, separator);
  }
  return std::make_unique<IgnoredPart>(header);
}

class HTMLCollector : public MailParser::MessageParser {
 public:
  explicit HTMLCollector(std::string_view separator) : separator_(separator) {}
  std::string html;

 protected:
  void headersComplete() override {
    if (MailParser::isMIME(header)) {
      entity = makeHTMLPart(MailParser::MIMEEntityHeader(header), nullptr, html, separator_);
    }
  }
  void bodyLineWithoutEntity(std::string_view) override {}
  void endWithoutEntity() override {}

 private:
  std::string_view separator_;
};

}  // namespace Detail

// The decoded bodies of the text/html parts of a message, each followed by the separator.
// The lines go to the parser as split at LF, a CR before it left in place.
inline std::string htmlOfMessage(std::string_view message, std::string_view separator) {
  Detail::HTMLCollector collector(separator);
  std::size_t start = 0;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string_view::npos) end = message.size();
    collector.processLine(message.substr(start, end - start));
    start = end + 1;
  }
  collector.end();
  return std::move(collector.html);
}

}  // namespace Bench
