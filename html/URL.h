#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "html/URI.h"

namespace HTMLFilter {

// A URI whose remainder is split into authority and path parts, with RFC 1808 resolution.
// For the hierarchical schemes a browser treats specially (http, https, ftp), the remainder
// is read the way a browser reads it: "\" counts as "/" before any query or fragment, and
// any run of slashes after the scheme starts the authority ("http:\\host\x" and
// "http:host/x" both name "host"; a reference without a scheme needs two of them); the host
// is ASCII-lower-cased, and text() writes the "scheme://" form, so that the host judged here
// is the host a browser contacts with the text we forward. For every scheme the user
// information of an authority ends at its last "@", as in a browser.
class URL : public URI {
 public:
  URL() = default;
  explicit URL(std::u16string_view text);
  explicit URL(const URI& uri);
  explicit URL(URI&& uri);

  [[nodiscard]] std::u16string text() const override;
  void takeSchemeFrom(const URI& base) override;
  void clear() override;
  // Makes this URL absolute against `base`.
  void resolve(const URL& base);
  // Nothing at all: no scheme and no part.
  [[nodiscard]] bool empty() const;

  std::u16string user;
  std::u16string password;
  std::u16string host;                   // with any ":port"
  std::vector<std::u16string> segments;  // directories; an absolute path starts with ""
  std::u16string file;
  std::u16string params;    // from the first ";" of the last component, ";" included
  std::u16string query;     // from the first "?", "?" included
  std::u16string fragment;  // from the first "#", "#" included

  // The host a browser contacts: no ":port", one trailing "." dropped, percent-escapes
  // decoded, full-width forms and ideographic full stops read as ASCII, ASCII-lower-cased.
  // An IPv6 address keeps its brackets.
  [[nodiscard]] std::u16string bareHost() const;

 private:
  // Splits `remainder` into the parts; `schemeGiven` tells whether the text itself carried
  // the scheme (a browser reads "http:host" as naming a host, but "host" only as a path).
  void split(bool schemeGiven);
  [[nodiscard]] std::u16string rebuiltRemainder() const;
};

}  // namespace HTMLFilter
