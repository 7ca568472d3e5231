#include "integration/THostsManager.h"

#include <algorithm>
#include <set>

#include "common/AsciiCase.h"
#include "integration/EHostsFileException.h"
#include "integration/EInvalidHostName.h"
#include "integration/HostName.h"
#include "integration/HostsFileIO.h"
#include "integration/HostsFilePath.h"
#include "platform/QuotedPath.h"

namespace {

constexpr int kFirstHostNumber = 1;
constexpr int kLastHostNumber = 254;

struct TParsedLine {
  std::string Ip;
  std::string HostName;
  std::string Comment;
};

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t'; }

// An address, blanks, one host name, and either nothing or a comment: the only lines that
// are records. A line with a second name is left to its owner, as is one without blanks
// between address and name (the resolver would not read it either).
std::optional<TParsedLine> ParseLine(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) {
    ++i;
  }
  const std::size_t ipStart = i;
  while (i < line.size() && ((line[i] >= '0' && line[i] <= '9') || line[i] == '.')) {
    ++i;
  }
  if (i == ipStart || i == line.size() || !IsBlank(line[i])) {
    return std::nullopt;
  }
  TParsedLine parsed;
  parsed.Ip = std::string(line.substr(ipStart, i - ipStart));
  while (i < line.size() && IsBlank(line[i])) {
    ++i;
  }
  const std::size_t nameStart = i;
  while (i < line.size() && !IsBlank(line[i])) {
    ++i;
  }
  if (i == nameStart) {
    return std::nullopt;
  }
  parsed.HostName = std::string(line.substr(nameStart, i - nameStart));
  while (i < line.size() && IsBlank(line[i])) {
    ++i;
  }
  const std::string_view rest = line.substr(i);
  if (!rest.empty() && rest.front() != '#') {
    return std::nullopt;
  }
  parsed.Comment = std::string(rest);
  return parsed;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) noexcept {
  return text.size() > suffix.size() && caseInsensitiveEquals(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

THostsManager::THostsManager(std::string hostPrefix, std::string hostSuffix, std::string externHostIpBase,
                             std::string beginMarker, std::string endMarker)
    : THostsManager(Platform::HostsFilePath(), std::move(hostPrefix), std::move(hostSuffix),
                    std::move(externHostIpBase), std::move(beginMarker), std::move(endMarker)) {}

THostsManager::THostsManager(std::filesystem::path file, std::string hostPrefix, std::string hostSuffix,
                             std::string externHostIpBase, std::string beginMarker, std::string endMarker)
    : file_(std::move(file)),
      hasFile_(true),
      hostPrefix_(std::move(hostPrefix)),
      hostSuffix_(std::move(hostSuffix)),
      externHostIpBase_(std::move(externHostIpBase)),
      beginMarker_(std::move(beginMarker)),
      endMarker_(std::move(endMarker)) {
  Parse(HostsFileIO::Read(file_).value_or(std::string()));
}

THostsManager::THostsManager(TText /*unused*/, std::string_view text, std::string hostPrefix,
                             std::string hostSuffix, std::string externHostIpBase, std::string beginMarker,
                             std::string endMarker)
    : file_("hosts"),
      hostPrefix_(std::move(hostPrefix)),
      hostSuffix_(std::move(hostSuffix)),
      externHostIpBase_(std::move(externHostIpBase)),
      beginMarker_(std::move(beginMarker)),
      endMarker_(std::move(endMarker)) {
  Parse(text);
}

std::unique_ptr<THostsManager> THostsManager::OpenQuorixHostsFile() {
  return OpenQuorixHostsFile(Platform::HostsFilePath());
}

std::unique_ptr<THostsManager> THostsManager::OpenQuorixHostsFile(const std::filesystem::path& file) {
  return std::make_unique<THostsManager>(file, "qx.", ".qx", "127.84.3.", "# Begin QX", "# End QX");
}

std::unique_ptr<THostsManager> THostsManager::QuorixHostsText(std::string_view text) {
  return std::unique_ptr<THostsManager>(
      new THostsManager(TText{}, text, "qx.", ".qx", "127.84.3.", "# Begin QX", "# End QX"));
}

bool THostsManager::isValidIp(std::string_view text) noexcept { return HostName::IsValidIpv4(text); }

bool THostsManager::isValidHost(std::string_view text) { return HostName::Problem(text).empty(); }

bool THostsManager::IsValidQXip(std::string_view ip) const {
  if (!isValidIp(ip) || externHostIpBase_.empty() || !ip.starts_with(externHostIpBase_)) {
    return false;
  }
  const std::string_view last = ip.substr(externHostIpBase_.size());
  if (last.empty() || last.find('.') != std::string_view::npos) {
    return false;
  }
  const int number = std::stoi(std::string(last));
  return number >= kFirstHostNumber && number <= kLastHostNumber;
}

std::string THostsManager::Where() const { return "The hosts file " + Platform::QuotedPath(file_); }

bool THostsManager::IsOurName(std::string_view hostName) const {
  return (!hostPrefix_.empty() && hostName.size() > hostPrefix_.size() &&
          caseInsensitiveStartsWith(hostName, hostPrefix_)) ||
         (!hostSuffix_.empty() && EndsWithIgnoringCase(hostName, hostSuffix_));
}

bool THostsManager::IsOurLine(std::size_t index) const {
  const std::optional<TParsedLine> parsed = ParseLine(lines_[index].Text);
  return parsed.has_value() && IsOurName(parsed->HostName);
}

void THostsManager::Parse(std::string_view text) {
  original_ = std::string(text);
  lines_ = HostsFileLines::Split(text);
  records_.clear();
  FindBlock();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto index = static_cast<int>(i);
    if (index == blockBegin_ || index == blockEnd_) {
      continue;
    }
    std::optional<TParsedLine> parsed = ParseLine(lines_[i].Text);
    if (!parsed) {
      continue;
    }
    auto record = std::make_unique<THostRecord>();
    record->Ip = std::move(parsed->Ip);
    record->HostName = std::move(parsed->HostName);
    record->Comment = std::move(parsed->Comment);
    record->IsOurs = index > blockBegin_ && index < blockEnd_ && IsOurName(record->HostName);
    record->LineIndex = index;
    records_.push_back(std::move(record));
  }
}

void THostsManager::FindBlock() {
  blockBegin_ = blockEnd_ = -1;
  std::vector<std::size_t> begins;
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].Text == beginMarker_) {
      begins.push_back(i);
    } else if (lines_[i].Text == endMarker_) {
      ends.push_back(i);
    }
  }
  if (begins.empty() && ends.empty()) {
    return;
  }
  const std::string eol = HostsFileLines::Dominant(lines_);
  std::size_t begin = 0;
  std::size_t end = 0;
  const auto endAfterBegin =
      begins.empty() ? ends.end() : std::find_if(ends.begin(), ends.end(), [&](std::size_t e) { return e > begins[0]; });
  if (!begins.empty() && endAfterBegin != ends.end()) {
    begin = begins[0];
    end = *endAfterBegin;
  } else if (!begins.empty()) {
    // Begun and never ended: the block holds the program's lines that follow the marker,
    // and nothing after the first line that is not one of them.
    begin = begins[0];
    end = begin + 1;
    while (end < lines_.size() && IsOurLine(end)) {
      ++end;
    }
    if (lines_[end - 1].LineEnd.empty()) {
      lines_[end - 1].LineEnd = eol;
    } else if (lines_[end - 1].LineEnd == "\r") {
      lines_[end - 1].LineEnd = "\r\n";
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end), THostsFileLine{endMarker_, eol});
    notices_.push_back(Where() + " has the line \"" + beginMarker_ + "\" (line " + std::to_string(begin + 1) +
                       ") without a line \"" + endMarker_ + "\" after it. The block is taken to end after line " +
                       std::to_string(end) + ", where Quorix's entries end; the missing line is written on the next save.");
  } else {
    // Ended and never begun: likewise, the program's lines just before the marker.
    end = ends[0];
    begin = end;
    while (begin > 0 && IsOurLine(begin - 1)) {
      --begin;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(begin), THostsFileLine{beginMarker_, eol});
    ++end;
    notices_.push_back(Where() + " has the line \"" + endMarker_ + "\" (line " + std::to_string(ends[0] + 1) +
                       ") without a line \"" + beginMarker_ + "\" before it. The block is taken to begin at line " +
                       std::to_string(begin + 1) + ", where Quorix's entries begin; the missing line is written on the next save.");
  }
  blockBegin_ = static_cast<int>(begin);
  blockEnd_ = static_cast<int>(end);
  if (begins.size() + ends.size() > 2) {
    notices_.push_back(Where() + " has more than one \"" + beginMarker_ + "\" or \"" + endMarker_ +
                       "\" line. Only the block of lines " + std::to_string(begin + 1) + " to " +
                       std::to_string(end + 1) + " is Quorix's; the other lines are left as they are.");
  }
}

THostRecord* THostsManager::add(const std::string& hostName, const std::string& ip) {
  if (const std::string problem = HostName::Problem(hostName); !problem.empty()) {
    throw EInvalidHostName(HostName::Shown(hostName), problem);
  }
  if (findByHostName(hostName) != nullptr) {
    notices_.push_back("Error: The host(\"" + hostName + "\") already exists.");
    return nullptr;
  }
  auto record = std::make_unique<THostRecord>();
  record->HostName = hostName;
  record->Ip = ip;
  record->IsOurs = true;
  record->Status = TStatus::eInsert;
  record->LineIndex = -1;
  records_.push_back(std::move(record));
  return records_.back().get();
}

void THostsManager::deleteRecord(THostRecord* record) {
  if (record == nullptr) {
    return;
  }
  if (record->LineIndex < 0) {
    std::erase_if(records_, [&](const std::unique_ptr<THostRecord>& r) { return r.get() == record; });
  } else {
    record->Status = TStatus::eDelete;
  }
}

THostRecord* THostsManager::findByHostName(std::string_view hostName) const {
  for (const auto& record : records_) {
    if (caseInsensitiveEquals(record->HostName, hostName)) {
      return record.get();
    }
  }
  return nullptr;
}

THostRecord* THostsManager::findByIp(std::string_view ip) const {
  for (const auto& record : records_) {
    if (record->Ip == ip) {
      return record.get();
    }
  }
  return nullptr;
}

int THostsManager::countByIp(std::string_view ip) const {
  return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                        [&](const std::unique_ptr<THostRecord>& r) { return r->Ip == ip; }));
}

THostRecord* THostsManager::find(std::string_view hostName, std::string_view ip) const {
  THostRecord* record = findByHostName(hostName);
  return record != nullptr && findByIp(ip) == record ? record : nullptr;
}

std::string THostsManager::findFreeIp() {
  if (externHostIpBase_.empty()) {
    notices_.emplace_back("You have failed to set externHostIpBase for THostsManager.findFreeIp");
  }
  for (int n = kFirstHostNumber; n <= kLastHostNumber; ++n) {
    std::string candidate = externHostIpBase_ + std::to_string(n);
    if (findByIp(candidate) == nullptr) {
      return candidate;
    }
  }
  notices_.emplace_back("HostsManager.findFreeIp, unable to find a free ip.");
  return {};
}

std::string THostsManager::NewText() const {
  std::vector<THostsFileLine> lines = lines_;
  std::set<int> removed;
  std::vector<std::string> inserted;
  for (const auto& record : records_) {
    if (!record->IsOurs || !record->check()) {
      continue;  // neither rewritten nor removed: a line we cannot read safely stays its owner's
    }
    if (record->LineIndex < 0) {
      const bool placeholder = record->HostName == "unknown" && record->Ip == "0.0.0.0";
      if (record->Status == TStatus::eInsert && !placeholder) {
        inserted.push_back(record->toString());
      }
    } else if (record->Status == TStatus::eDelete) {
      removed.insert(record->LineIndex);
    } else {
      lines[static_cast<std::size_t>(record->LineIndex)].Text = record->toString();
    }
  }

  // New lines match the block they go into; a new block matches the file.
  const std::string eol =
      blockBegin_ >= 0 ? lines_[static_cast<std::size_t>(blockBegin_)].LineEnd : HostsFileLines::Dominant(lines_);
  std::vector<THostsFileLine> result;
  result.reserve(lines.size() + inserted.size() + 3);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto index = static_cast<int>(i);
    if (index == blockEnd_) {
      for (const std::string& text : inserted) {
        result.push_back({text, eol});
      }
    }
    if (!removed.contains(index)) {
      result.push_back(std::move(lines[i]));
    }
  }
  if (blockEnd_ < 0 && !inserted.empty()) {
    // The marker lines must stand on lines of their own, so a last line without a line end
    // gets one: the only byte ever added outside the block.
    if (!result.empty() && result.back().LineEnd.empty()) {
      result.back().LineEnd = eol;
    } else if (!result.empty() && result.back().LineEnd == "\r") {
      result.back().LineEnd = "\r\n";
    }
    result.push_back({"", eol});
    result.push_back({beginMarker_, eol});
    for (const std::string& text : inserted) {
      result.push_back({text, eol});
    }
    result.push_back({endMarker_, eol});
  }
  return HostsFileLines::Join(result);
}

void THostsManager::save() {
  if (!hasFile_) {
    throw EHostsFileException(file_, "This hosts text has no file to be saved to");
  }
  std::string text = NewText();
  if (text == original_) {
    return;
  }
  if (HostsFileIO::Read(file_).value_or(std::string()) != original_) {
    throw EHostsFileException(file_, Where() + " was changed by another program while Quorix was updating it; "
                                                "nothing was written. Try again.");
  }
  HostsFileIO::Replace(file_, text);
  notices_.clear();
  Parse(text);
}

std::vector<std::pair<std::string, std::string>> THostsManager::LocalAddresses() const {
  std::vector<std::pair<std::string, std::string>> addresses;
  std::set<std::string> seen;
  for (const auto& record : records_) {
    if (record->Status == TStatus::eDelete || !seen.insert(asciiLowerCase(record->HostName)).second) {
      continue;
    }
    if (EndsWithIgnoringCase(record->HostName, hostSuffix_) && record->check() && IsValidQXip(record->Ip)) {
      addresses.emplace_back(record->HostName, record->Ip);
    }
  }
  return addresses;
}
