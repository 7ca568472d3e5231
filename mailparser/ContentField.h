#pragma once

#include <map>
#include <string>
#include <string_view>

#include "common/CaseInsensitiveLess.h"

namespace MailParser {

// A structured field value: a main value followed by ";"-separated name=value parameters.
// Parameter names compare ignoring letter case; values are stored unquoted. Values in
// RFC 2231 or encoded-word form are kept as written.
class ContentField {
 public:
  using Parameters = std::map<std::string, std::string, caseinsensitive_string_less>;

  ContentField() = default;
  ContentField(const ContentField&) = default;
  ContentField& operator=(const ContentField&) = default;
  ContentField(ContentField&&) noexcept = default;
  ContentField& operator=(ContentField&&) noexcept = default;
  virtual ~ContentField();

  // Replaces the main value and the parameters with those of `value` (comments already
  // stripped). Never fails: parameters read before a malformed one are kept and nothing after
  // it is read. A repeated parameter name keeps the last value (and the first spelling).
  virtual void parse(std::string_view value);

  // mainValue(), then ";\r\n\t" + name + "=" + the quoted value for every parameter, in name
  // order: one folded line each.
  [[nodiscard]] virtual std::string toString() const;

  virtual void parseMainValue(std::string_view text) = 0;
  [[nodiscard]] virtual std::string mainValue() const = 0;

  Parameters parameters;
};

}  // namespace MailParser
