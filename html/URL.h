#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "html/URI.h"

namespace HTMLFilter {

// A URI whose remainder is split into authority and path parts, with RFC 1808 resolution.
// For the hierarchical schemes a browser treats specially (http, https, ftp), the
// remainder is read the way a browser reads it: "\" counts as "/", and any run of slashes
// after the scheme starts the authority ("http:\\host\x" and "http:host/x" both name "host"),
// so that the host judged here is the host the browser will contact.
class URL : public URI {
 public:
  URL() = default;
  explicit URL(std::u16string_view text);
  explicit URL(const URI& uri);

  [[nodiscard]] std::u16string text() const override;
  void takeSchemeFrom(const URI& base) override;
  void clear() override;
  // Makes this URL absolute against `base`.
  void resolve(const URL& base);
  // Nothing at all: no scheme and no part.
  [[nodiscard]] bool empty() const;

  std::u16string user;
  std::u16string password;
  std::u16string host;  // with any ":port"
  std::vector<std::u16string> segments;  // directories; an absolute path starts with ""
  std::u16string file;
  std::u16string params;    // from the first ";" of the last component, ";" included
  std::u16string query;     // from the first "?", "?" included
  std::u16string fragment;  // from the first "#", "#" included
};

}  // namespace HTMLFilter
