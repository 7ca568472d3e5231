#include "mailparser/Header.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "common/AsciiCase.h"

namespace MailParser {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool isPrintableNameByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x21 && byte <= 0x7E;
}

constexpr std::string_view kLineBreak = "\r\n";

}  // namespace

Header::Header(const Header& other) {
  for (const HeaderField& field : other.fields_) {
    fields_.push_back(field);
    fields_.back().inHeader = true;
    index_.emplace_hint(index_.end(), asciiLowerCase(field.name), std::prev(fields_.end()));
  }
}

Header::Header(Header&& other) noexcept {
  swap(other);
}

Header& Header::operator=(const Header& other) {
  if (this != &other) {
    Header copy(other);
    swap(copy);
  }
  return *this;
}

Header& Header::operator=(Header&& other) noexcept {
  if (this != &other) {
    Header taken(std::move(other));
    swap(taken);
  }
  return *this;
}

Header::~Header() = default;

void Header::swap(Header& other) noexcept {
  // Both containers hand over their nodes, so the index entries keep pointing at the fields
  // they were made for.
  fields_.swap(other.fields_);
  index_.swap(other.index_);
}

std::string Header::toString() const {
  std::size_t length = 0;
  for (const HeaderField& field : fields_) {
    length += field.name.size() + field.value.size() + 4;
  }
  std::string text;
  text.reserve(length);
  for (const HeaderField& field : fields_) {
    text += field.name;
    text += ": ";
    text += field.value;
    text += kLineBreak;
  }
  return text;
}

bool Header::addLine(std::string_view line) {
  if (line.empty()) {
    return true;
  }
  if (!fields_.empty() && (line.front() == ' ' || line.front() == '\t')) {
    std::string& value = fields_.back().value;
    value.reserve(value.size() + kLineBreak.size() + line.size());
    value += kLineBreak;
    value += line;
    return true;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) {
    return false;
  }
  std::string_view value = line.substr(colon + 1);
  const auto valueStart = value.find_first_not_of(" \t");
  value = valueStart == std::string_view::npos ? std::string_view() : value.substr(valueStart);
  addField(std::string(line.substr(0, colon)), std::string(value), false);
  return true;
}

void Header::addField(std::string name, std::string value, bool atFront) {
  std::string key = asciiLowerCase(name);
  const auto position = atFront ? fields_.begin() : fields_.end();
  const auto field = fields_.emplace(position, std::move(name), std::move(value));
  field->inHeader = true;
  // Keep equal names in list order: a field put at the front goes before its namesakes.
  const auto hint = atFront ? index_.lower_bound(key) : index_.upper_bound(key);
  index_.emplace_hint(hint, std::move(key), field);
}

HeaderField* Header::findField(std::string_view name) {
  const auto entry = index_.lower_bound(asciiLowerCase(name));
  if (entry == index_.end() || !caseInsensitiveEquals(entry->first, name)) {
    return nullptr;
  }
  return &*entry->second;
}

const HeaderField* Header::findField(std::string_view name) const {
  return const_cast<Header*>(this)->findField(name);
}

bool Header::hasField(std::string_view name, bool exact) const {
  const std::string key = asciiLowerCase(name);
  const auto entry = index_.lower_bound(key);
  if (entry == index_.end()) {
    return false;
  }
  return exact ? entry->first == key : startsWith(entry->first, key);
}

void Header::eraseEntry(Index::iterator entry) {
  fields_.erase(entry->second);
  index_.erase(entry);
}

std::size_t Header::removeFields(std::string_view name, bool exact) {
  const std::string key = asciiLowerCase(name);
  std::size_t removed = 0;
  auto entry = index_.lower_bound(key);
  while (entry != index_.end() && (exact ? entry->first == key : startsWith(entry->first, key))) {
    eraseEntry(entry++);
    ++removed;
  }
  if (exact) {
    return removed > 0 ? 1 : 0;
  }
  return removed;
}

void Header::removeRepeatedFields(std::string_view prefix) {
  const std::string key = asciiLowerCase(prefix);
  auto entry = index_.lower_bound(key);
  while (entry != index_.end() && startsWith(entry->first, key)) {
    const auto next = index_.upper_bound(entry->first);
    if (std::next(entry) != next) {
      while (entry != next) {
        eraseEntry(entry++);
      }
    }
    entry = next;
  }
}

std::size_t Header::removeInvalidNames() {
  std::size_t removed = 0;
  // Lower-casing changes only A-Z, so the index keys show the same invalid bytes as the names.
  for (auto entry = index_.begin(); entry != index_.end();) {
    const std::string& key = entry->first;
    bool valid = true;
    for (const char c : key) {
      if (!isPrintableNameByte(c)) {
        valid = false;
        break;
      }
    }
    if (valid) {
      ++entry;
    } else {
      eraseEntry(entry++);
      ++removed;
    }
  }
  return removed;
}

void Header::reindex(FieldList::iterator field, const std::string& oldName) {
  auto [entry, last] = index_.equal_range(asciiLowerCase(oldName));
  while (entry != last && entry->second != field) {
    ++entry;
  }
  if (entry != last) {
    index_.erase(entry);
  }
  index_.emplace(asciiLowerCase(field->name), field);
}

std::size_t Header::truncateLongLines(std::size_t maxLineLength) {
  std::size_t changed = 0;
  for (auto field = fields_.begin(); field != fields_.end(); ++field) {
    if (maxLineLength < field->name.size() + 2) {
      const std::string oldName = field->name;
      field->name.resize(maxLineLength >= 2 ? maxLineLength - 2 : 0);
      field->value.clear();
      reindex(field, oldName);
      ++changed;
      continue;
    }
    const std::size_t room = maxLineLength - field->name.size() - 2;
    std::string& value = field->value;
    if (room >= value.size()) {
      continue;
    }
    std::string shortened;
    shortened.reserve(value.size());
    std::size_t allowance = room;
    std::size_t lineStart = 0;
    while (true) {
      const auto lineEnd = value.find(kLineBreak, lineStart);
      const std::size_t lineLength = (lineEnd == std::string::npos ? value.size() : lineEnd) - lineStart;
      shortened.append(value, lineStart, std::min(lineLength, allowance));
      if (lineEnd == std::string::npos) {
        break;
      }
      shortened += kLineBreak;
      lineStart = lineEnd + kLineBreak.size();
      allowance = maxLineLength;
    }
    value = std::move(shortened);
    ++changed;
  }
  return changed;
}

}  // namespace MailParser
