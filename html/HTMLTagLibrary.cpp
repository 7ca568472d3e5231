#include "html/HTMLTagLibrary.h"

#include <map>

#include "html/HTMLTagTables.h"

namespace HTMLTagLibrary {

namespace {

using Library = std::map<std::string, TagInformation, std::less<>>;

void insertNames(std::set<std::string, std::less<>>& names, std::string_view list) {
  while (!list.empty()) {
    const std::size_t space = list.find(' ');
    const std::string_view name = list.substr(0, space);
    if (!name.empty()) names.emplace(name);
    if (space == std::string_view::npos) break;
    list.remove_prefix(space + 1);
  }
}

Library build() {
  Library library;
  for (const TagRow& row : tagTable) {
    TagInformation info;
    info.flags = {row.flags[0], row.flags[1], row.flags[2]};
    if (row.group == Group::common) insertNames(info.standardAttributes, kCommonAttributes);
    if (row.group == Group::core) insertNames(info.standardAttributes, kCoreAttributes);
    insertNames(info.standardAttributes, row.standardAttributes);
    insertNames(info.otherAttributes, row.otherAttributes);
    library.insert_or_assign(row.name, std::move(info));
  }
  return library;
}

}  // namespace

const TagInformation* getTagInformation(std::string_view key) {
  static const Library library = build();
  const auto found = library.find(key);
  return found == library.end() ? nullptr : &found->second;
}

}  // namespace HTMLTagLibrary
