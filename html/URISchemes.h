#pragma once

#include <cstdint>
#include <string_view>

namespace HTMLFilter {

// What the filter makes of a URL's scheme.
enum class SchemeClass : std::uint8_t {
  unknown = 0,   // not in the table, or no scheme at all
  embedded = 1,  // a part of the same message ("cid")
  network = 2,   // fetched from or addressed to another machine
  script = 3,    // runs script ("javascript", "vbscript")
};

struct URISchemeInformation {
  SchemeClass schemeClass = SchemeClass::unknown;
  bool linkOnly = false;      // only a link the reader follows, never a resource a page loads
  bool hierarchical = false;  // "//authority/path" with relative resolution
};

// The fixed table of the schemes the filter knows. Names are compared after ASCII
// lower-casing; a URI's scheme already is lower case. Immutable, so any thread may read it.
class URISchemes {
 public:
  [[nodiscard]] static URISchemeInformation information(std::u16string_view scheme) noexcept;
  [[nodiscard]] static SchemeClass schemeClass(std::u16string_view scheme) noexcept;
  // Known and not link-only: something a page may load.
  [[nodiscard]] static bool isResource(std::u16string_view scheme) noexcept;
  [[nodiscard]] static bool isHierarchical(std::u16string_view scheme) noexcept;
  [[nodiscard]] static bool isLinkOnly(std::u16string_view scheme) noexcept;
};

}  // namespace HTMLFilter
