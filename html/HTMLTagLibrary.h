#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>

// The fixed vocabulary of HTML that the filter's "non-standard HTML" option measures tags and
// attributes against: 107 tags, each with the attribute names that are standard for it.
// Built once on first use and read-only afterwards, so any thread may read it.
namespace HTMLTagLibrary {

struct TagInformation {
  // The first three flag bytes of the tag's table row, carried as they stand; nothing in the
  // system reads them.
  std::array<std::uint8_t, 3> flags{};
  std::set<std::string, std::less<>> standardAttributes;
  // Attributes the table knows for the tag but does not count as standard.
  std::set<std::string, std::less<>> otherAttributes;

  [[nodiscard]] bool isStandardAttribute(std::string_view key) const {
    return standardAttributes.find(key) != standardAttributes.end();
  }
};

// The tag with this name key (exact, byte for byte: keys are lower case), or null.
[[nodiscard]] const TagInformation* getTagInformation(std::string_view key);

}  // namespace HTMLTagLibrary
