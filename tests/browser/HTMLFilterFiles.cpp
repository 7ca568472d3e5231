// quorix_html_filter: writes HTML files as the HTML filter leaves them, for the browser check
// of the filter (tests/browser/check-filter.js), and takes the HTML parts out of mail.
//
//   quorix_html_filter --profile Low|Medium|High|Scripting|none [--wrap] IN_DIR OUT_DIR
//   quorix_html_filter --extract-html CORPUS_DIR OUT_DIR
//
// --profile filters every *.html file of IN_DIR (read as UTF-8, a byte-order mark wins) as one
// whole document with the HTML and image options of a built-in profile ("Scripting": only
// RemoveScripting on; "none": not filtered at all, the file only decoded and written again, the
// original a filtered file is compared with) and writes it under the same name to OUT_DIR. With
// --wrap each file is first wrapped as <html><body>...</body></html>, as a snippet would reach
// a mail reader. A document the filter refuses (it throws) is written empty and named on
// stderr: the message engine blocks such a part, so the reader gets nothing of it.
//
// --extract-html writes every text/html part of every message under CORPUS_DIR (all files,
// recursively; parts of attached messages too) as <message>-<n>.html, the message's path
// relative to CORPUS_DIR with "/" as "--", decoded from its transfer encoding and its charset.
//
// Every file written is UTF-8 with a byte-order mark, so that a browser reads exactly the text
// the filter judged whatever it would guess for unlabelled bytes.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FileBytes.h"
#include "common/AsciiCase.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/TSecurityProfile.h"
#include "html/FilterDocument.h"
#include "mailparser/Charsets.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"
#include "mailparser/TransferCodings.h"
#include "mailparser/UTF8.h"
#include "support/FakeMessageProcessorInterface.h"

namespace {

namespace fs = std::filesystem;
using MailParser::MIMEEntityHeader;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string asUTF8File(std::u16string_view text) {
  std::string out(kByteOrderMark);
  MailParser::encodeUTF8(out, text);
  return out;
}

// ---- profiles

enum class Profile : std::uint8_t { None, Low, Medium, High, Scripting };

bool profileNamed(std::string_view name, Profile& profile) {
  if (name == "none") profile = Profile::None;
  else if (name == "Low") profile = Profile::Low;
  else if (name == "Medium") profile = Profile::Medium;
  else if (name == "High") profile = Profile::High;
  else if (name == "Scripting") profile = Profile::Scripting;
  else return false;
  return true;
}

// The options the HTML filter and the web-bug check read, as the built-in profile has them.
// RemoveAllHTML stays off: profiles only read it from earlier versions' settings.
void copyHTMLOptions(const TSecurityProfile& from, FakeMessageProcessorInterface::Options& to) {
  to.HTMLMessageTextHandling = from.HTMLMessageTextHandling;
  to.HTMLAttachmentsHandling = from.HTMLAttachmentsHandling;
  to.RemoveNonStandardHTML = from.RemoveNonStandardHTML;
  to.RemoveScripting = from.RemoveScripting;
  to.RemoveEmbedding = from.RemoveEmbedding;
  to.RemoveFrames = from.RemoveFrames;
  to.BlockExternalCSS = from.BlockExternalCSS;
  to.RemoveBLINKTags = from.RemoveBLINKTags;
  to.RemoveBGSOUNDTags = from.RemoveBGSOUNDTags;
  to.RemoveMETATags = from.RemoveMETATags;
  to.BlockExternalImages = from.BlockExternalImages;
  to.BlockImagesWithVariables = from.BlockImagesWithVariables;
  to.BlockImagesWithIdentifiers = from.BlockImagesWithIdentifiers;
  to.BlockImagesWithIdentifiersSensitivity = from.BlockImagesWithIdentifiersSensitivity;
  to.BlockImagesWithCookies = from.BlockImagesWithCookies;
  to.Block1x1Images = from.Block1x1Images;
  to.AllowSelectedWebBugProviders = from.AllowSelectedWebBugProviders;
}

FakeMessageProcessorInterface::Options optionsOf(Profile profile) {
  FakeMessageProcessorInterface::Options options;
  switch (profile) {
    case Profile::Low: copyHTMLOptions(LowSecurityProfile(), options); break;
    case Profile::Medium: copyHTMLOptions(MediumSecurityProfile(), options); break;
    case Profile::High: copyHTMLOptions(HighSecurityProfile(), options); break;
    case Profile::Scripting: options.RemoveScripting = true; break;
    case Profile::None: break;
  }
  return options;
}

std::vector<fs::path> htmlFilesIn(const fs::path& folder) {
  if (!fs::is_directory(folder)) throw std::runtime_error(folder.string() + " is not a folder");
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == ".html") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

int filterFiles(Profile profile, bool wrap, const fs::path& in, const fs::path& out) {
  const auto files = htmlFilesIn(in);
  fs::create_directories(out);
  int refused = 0;
  for (const auto& file : files) {
    std::string bytes = readFileBytes(file);
    if (wrap) bytes = "<html><body>" + bytes + "</body></html>";
    const std::u16string text = MailParser::toWide(bytes, "utf-8", true);
    std::string result;
    if (profile == Profile::None) {
      result = asUTF8File(text);
    } else {
      FakeMessageProcessorInterface settings;
      settings.options = optionsOf(profile);
      try {
        const std::string filtered = HTMLFilter::filterDocument(text, settings);
        result.reserve(filtered.size() + kByteOrderMark.size());
        result.append(kByteOrderMark).append(filtered);
      } catch (const std::runtime_error& e) {
        // Written empty: the part the engine blocks shows the reader nothing.
        std::cerr << "quorix_html_filter: refused " << file.filename().string() << ": " << e.what() << '\n';
        ++refused;
      }
    }
    writeFileBytes(out / file.filename(), result);
  }
  std::cerr << "quorix_html_filter: " << files.size() << " files written to " << out.string() << ", " << refused
            << " refused\n";
  return 0;
}

// ---- HTML parts of mail

struct HTMLPart {
  std::string charset;
  std::string bytes;  // decoded from the transfer encoding
};

// Attached messages are parsed again, to this depth.
constexpr int kMaxMessageDepth = 4;

std::vector<HTMLPart> htmlPartsOf(std::string_view message, int depth);

class CollectingEntity : public MailParser::MIMEEntity {
 public:
  CollectingEntity(MIMEEntityHeader entityHeader, std::vector<HTMLPart>& parts, int depth)
      : MIMEEntity(std::move(entityHeader)), parts_(parts), depth_(depth) {}

  void processLine(std::string_view line) override {
    if (!wanted()) return;
    block_ += line;
    block_ += "\r\n";
  }
  void end() override {
    if (isType("text", "html")) {
      const auto charset = header.contentType.parameters.find("charset");
      parts_.push_back({charset == header.contentType.parameters.end() ? std::string() : charset->second,
                        MailParser::decodeBody(header.transferEncoding, block_)});
    } else if (isType("message", "rfc822") && depth_ < kMaxMessageDepth) {
      for (auto& part : htmlPartsOf(MailParser::decodeBody(header.transferEncoding, block_), depth_ + 1)) {
        parts_.push_back(std::move(part));
      }
    }
  }

 private:
  [[nodiscard]] bool isType(std::string_view type, std::string_view subtype) const {
    return caseInsensitiveEquals(header.contentType.type, type) &&
           caseInsensitiveEquals(header.contentType.subtype, subtype);
  }
  [[nodiscard]] bool wanted() const {
    return isType("text", "html") || (isType("message", "rfc822") && depth_ < kMaxMessageDepth);
  }

  std::vector<HTMLPart>& parts_;
  int depth_;
  std::string block_;
};

class CollectingMultipart : public MailParser::MultipartMIMEEntity {
 public:
  CollectingMultipart(MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity, std::vector<HTMLPart>& parts,
                      int depth)
      : MultipartMIMEEntity(std::move(entityHeader), parentEntity), parts_(parts), depth_(depth) {}

 protected:
  std::unique_ptr<MailParser::MIMEEntity> createEntity(const MIMEEntityHeader& partHeader) override;
  void closed() override {}

 private:
  std::vector<HTMLPart>& parts_;
  int depth_;
};

std::unique_ptr<MailParser::MIMEEntity> makeEntity(const MIMEEntityHeader& header,
                                                   MailParser::MultipartMIMEEntity* parent,
                                                   std::vector<HTMLPart>& parts, int depth) {
  if (header.contentType.isMultipart()) return std::make_unique<CollectingMultipart>(header, parent, parts, depth);
  return std::make_unique<CollectingEntity>(header, parts, depth);
}

std::unique_ptr<MailParser::MIMEEntity> CollectingMultipart::createEntity(const MIMEEntityHeader& partHeader) {
  return makeEntity(partHeader, this, parts_, depth_);
}

class CollectingParser : public MailParser::MessageParser {
 public:
  CollectingParser(std::vector<HTMLPart>& parts, int depth) : parts_(parts), depth_(depth) {}

 protected:
  void headersComplete() override {
    if (MailParser::isMIME(header)) entity = makeEntity(MIMEEntityHeader(header), nullptr, parts_, depth_);
  }
  void bodyLineWithoutEntity(std::string_view /*line*/) override {}
  void endWithoutEntity() override {}

 private:
  std::vector<HTMLPart>& parts_;
  int depth_;
};

std::vector<HTMLPart> htmlPartsOf(std::string_view message, int depth) {
  std::vector<HTMLPart> parts;
  CollectingParser parser(parts, depth);
  std::size_t start = 0;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string_view::npos) end = message.size();
    parser.processLine(message.substr(start, end - start));
    start = end + 1;
  }
  parser.end();
  return parts;
}

int extractHTML(const fs::path& corpus, const fs::path& out) {
  if (!fs::is_directory(corpus)) throw std::runtime_error(corpus.string() + " is not a folder");
  std::vector<fs::path> messages;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    const auto name = entry.path().filename().string();
    if (entry.is_regular_file() && name != "README.md" && name != "INDEX.tsv") messages.push_back(entry.path());
  }
  std::sort(messages.begin(), messages.end());
  fs::create_directories(out);
  std::size_t written = 0;
  for (const auto& message : messages) {
    std::string stem = fs::relative(message, corpus).replace_extension().generic_string();
    for (std::size_t slash = stem.find('/'); slash != std::string::npos; slash = stem.find('/', slash + 2)) {
      stem.replace(slash, 1, "--");
    }
    int n = 0;
    for (const auto& part : htmlPartsOf(readFileBytes(message), 0)) {
      writeFileBytes(out / (stem + "-" + std::to_string(++n) + ".html"),
                asUTF8File(MailParser::toWide(part.bytes, part.charset, true)));
      ++written;
    }
  }
  std::cerr << "quorix_html_filter: " << written << " HTML parts of " << messages.size() << " messages written to "
            << out.string() << '\n';
  return 0;
}

int usage(const char* message) {
  if (message) std::cerr << "quorix_html_filter: " << message << '\n';
  std::cerr << "usage: quorix_html_filter --profile Low|Medium|High|Scripting|none [--wrap] IN_DIR OUT_DIR\n"
               "       quorix_html_filter --extract-html CORPUS_DIR OUT_DIR\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool extract = false;
  bool wrap = false;
  bool profileGiven = false;
  Profile profile = Profile::None;
  std::vector<std::string> dirs;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--profile") {
      if (i + 1 == argc) return usage("--profile needs a value");
      if (!profileNamed(argv[++i], profile)) return usage("--profile is Low, Medium, High, Scripting or none");
      profileGiven = true;
    } else if (arg == "--wrap") {
      wrap = true;
    } else if (arg == "--extract-html") {
      extract = true;
    } else if (arg.starts_with("--")) {
      return usage("unknown option");
    } else {
      dirs.emplace_back(arg);
    }
  }
  if (extract == profileGiven) return usage("give either --profile or --extract-html");
  if (extract && wrap) return usage("--wrap goes with --profile");
  if (dirs.size() != 2) return usage("give one input and one output folder");

  try {
    return extract ? extractHTML(dirs[0], dirs[1]) : filterFiles(profile, wrap, dirs[0], dirs[1]);
  } catch (const std::exception& e) {
    std::cerr << "quorix_html_filter: " << e.what() << '\n';
    return 1;
  }
}
