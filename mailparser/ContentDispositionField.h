#pragma once

#include <string>
#include <string_view>

#include "mailparser/ContentField.h"

namespace MailParser {

// The value of a Content-Disposition field: inline or attachment, with its parameters.
class ContentDispositionField : public ContentField {
 public:
  // Only "inline" (letter case ignored, nothing around it) is inline; every other value,
  // an empty one included, is an attachment, so an unknown disposition gets the stricter
  // treatment.
  void parseMainValue(std::string_view text) override;
  // "inline" or "attachment".
  [[nodiscard]] std::string mainValue() const override;

  bool isAttachment = false;
};

}  // namespace MailParser
