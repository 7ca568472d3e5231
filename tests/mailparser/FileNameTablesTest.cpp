// File names must be what a real RFC 2231 and RFC 2047 reader makes of them. Two tables hold
// what Python's email package reads, written by the scripts in tests/mailparser/tools:
// corpus-filenames.tsv for the generated corpus messages (RFC 2231 pieces, extended values,
// RFC 2047 names in several charsets, tricks around extensions), python-file-names.tsv for
// awkward field values, with the readings that differ on purpose and why.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "mailparser/ContentDispositionField.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace {

using namespace MailParser;

// (part number, field) -> name and the charset it was kept in ("" when UTF-8 or unlabelled).
using Names = std::map<std::pair<int, std::string>, std::pair<std::string, std::string>>;

void collect(const MIMEEntityHeader& header, int part, Names& names) {
  const auto add = [&](const ContentField& field, const std::string& fieldName, const char* parameter) {
    const auto found = field.parameters.find(std::string_view(parameter));
    if (found == field.parameters.end()) {
      return;
    }
    const auto charset = field.rawCharsets.find(std::string_view(parameter));
    names[{part, fieldName}] = {found->second, charset == field.rawCharsets.end() ? "" : charset->second};
  };
  add(header.contentDisposition, "content-disposition", "filename");
  add(header.contentType, "content-type", "name");
}

class Leaf : public MIMEEntity {
 public:
  explicit Leaf(const MIMEEntityHeader& entityHeader) : MIMEEntity(entityHeader) {}
  void processLine(std::string_view /*line*/) override {}
  void end() override {}
};

class Collecting : public MultipartMIMEEntity {
 public:
  Collecting(const MIMEEntityHeader& entityHeader, Collecting* parentEntity, int& parts, Names& names)
      : MultipartMIMEEntity(entityHeader, parentEntity), parts_(parts), names_(names) {}

  static std::unique_ptr<MIMEEntity> entityFor(const MIMEEntityHeader& header, Collecting* parent, int& parts,
                                               Names& names) {
    if (header.contentType.isMultipart()) {
      return std::make_unique<Collecting>(header, parent, parts, names);
    }
    collect(header, parts++, names);
    return std::make_unique<Leaf>(header);
  }

 protected:
  std::unique_ptr<MIMEEntity> createEntity(const MIMEEntityHeader& header) override {
    return entityFor(header, this, parts_, names_);
  }
  void closed() override {}

 private:
  int& parts_;
  Names& names_;
};

class CollectingParser : public MessageParser {
 public:
  Names names;

 protected:
  void headersComplete() override {
    if (isMIME(header)) {
      entity = Collecting::entityFor(MIMEEntityHeader(header), nullptr, parts_, names);
    }
  }
  void bodyLineWithoutEntity(std::string_view /*line*/) override {}
  void endWithoutEntity() override {}

 private:
  int parts_ = 0;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

Names namesIn(const std::string& message) {
  CollectingParser parser;
  std::size_t start = 0;
  while (start < message.size()) {
    auto end = message.find('\n', start);
    end = end == std::string::npos ? message.size() : end;
    std::string_view line(message.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    parser.processLine(line);
    start = end + 1;
  }
  parser.end();
  return std::move(parser.names);
}

std::string unescaped(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

std::vector<std::vector<std::string>> tableRows(const std::string& path, std::size_t columns) {
  std::ifstream table(path);
  EXPECT_TRUE(table) << "cannot open " << path;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(table, line)) {
    std::vector<std::string> row;
    std::istringstream split(line);
    for (std::string column; std::getline(split, column, '\t');) {
      row.push_back(column);
    }
    row.resize(columns);
    rows.push_back(std::move(row));
  }
  return rows;
}

// message -> its names, as the table gives them.
std::map<std::string, Names> readTable(const std::string& path) {
  std::map<std::string, Names> expected;
  for (const auto& columns : tableRows(path, 5)) {
    expected[columns[0]][{std::stoi(columns[1]), columns[2]}] = {unescaped(columns[3]), columns[4]};
  }
  return expected;
}

TEST(CorpusFileNames, AreWhatAnRFC2231ReaderShows) {
  const std::string data = QUORIX_TEST_DATA_DIR;
  auto expected = readTable(data + "/mailparser/corpus-filenames.tsv");
  ASSERT_GT(expected.size(), 30U);
  int messages = 0;
  for (const char* folder : {"gen-attachments", "gen-charsets"}) {
    for (const auto& entry : std::filesystem::directory_iterator(data + "/corpus/" + folder)) {
      if (entry.path().extension() != ".eml") {
        continue;
      }
      const std::string name = std::string(folder) + "/" + entry.path().filename().string();
      EXPECT_EQ(namesIn(readFile(entry.path())), expected[name]) << name;
      expected.erase(name);
      ++messages;
    }
  }
  EXPECT_GT(messages, 100);
  EXPECT_TRUE(expected.empty()) << expected.size() << " messages of the table are not in the corpus";
}

TEST(PythonFileNames, AreReadAlikeOrDifferForTheReasonGiven) {
  const auto rows = tableRows(std::string(QUORIX_TEST_DATA_DIR) + "/mailparser/python-file-names.tsv", 4);
  ASSERT_GT(rows.size(), 20U);
  for (const auto& row : rows) {
    const std::string value = unescaped(row[0]);
    const std::string expected = row[2].empty() ? row[1] : row[2];
    ContentDispositionField field;
    field.parse(value);
    const auto found = field.parameters.find(std::string_view("filename"));
    EXPECT_EQ(found == field.parameters.end() ? std::string("-") : found->second, unescaped(expected))
        << row[0] << (row[3].empty() ? "" : " (" + row[3] + ")");
  }
}

}  // namespace
