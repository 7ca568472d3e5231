#pragma once

#include <cstdint>

// The rows the tag library is built from (HTMLTagTables.cpp). Only HTMLTagLibrary reads them.
namespace HTMLTagLibrary {

// The two attribute lists that recur in the table, written by name in a row.
enum class Group { none, common, core };

inline constexpr const char* kCommonAttributes =
    "id class style title lang dir onclick ondblclick onmousedown onmouseup onmouseover onmousemove "
    "onmouseout "
    "onkeypress onkeydown onkeyup language";
inline constexpr const char* kCoreAttributes = "id class style title";

struct TagRow {
  const char* name;
  std::uint8_t flags[4];  // the fourth is always 0
  Group group;            // listed before the row's own standard attributes
  const char* standardAttributes;
  const char* otherAttributes;
};

extern const TagRow tagTable[107];

}  // namespace HTMLTagLibrary
