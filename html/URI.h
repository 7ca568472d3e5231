#pragma once

#include <string>
#include <string_view>

namespace HTMLFilter {

// A URI as the filter sees it: a lower-case scheme (possibly empty) and everything after its
// ":" (the whole text when there is no scheme). Reading follows what browsers do before they
// look at a scheme: tabs, CR and LF anywhere are removed, and leading and trailing spaces and
// control characters are trimmed, so that "java&#9;script:" is still "javascript".
class URI {
 public:
  URI() = default;
  explicit URI(std::u16string_view text);
  URI(const URI&) = default;
  URI(URI&&) = default;
  URI& operator=(const URI&) = default;
  URI& operator=(URI&&) = default;
  virtual ~URI() = default;

  // The remainder alone when the scheme is empty, otherwise scheme ":" remainder.
  [[nodiscard]] virtual std::u16string text() const;
  // When this URI has no scheme, takes the base's.
  virtual void takeSchemeFrom(const URI& base);
  virtual void clear();

  std::u16string scheme;
  std::u16string remainder;
};

}  // namespace HTMLFilter
