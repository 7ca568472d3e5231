#pragma once

#include <string>
#include <string_view>

#include "mailparser/ContentField.h"

namespace MailParser {

// The value of a Content-Type field. `type` and `subtype` keep the letter case as written.
class ContentTypeField : public ContentField {
 public:
  // "type/subtype" splits at the first "/", both sides trimmed; a bare "text" means
  // text/plain; anything else leaves both empty (the caller decides what an unknown type is).
  void parseMainValue(std::string_view text) override;
  // type + "/" + subtype.
  [[nodiscard]] std::string mainValue() const override;

  // `type` is "multipart", letter case ignored.
  [[nodiscard]] bool isMultipart() const noexcept;

  std::string type;
  std::string subtype;
};

}  // namespace MailParser
