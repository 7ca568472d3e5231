#include "mailparser/ContentTypeField.h"

#include "common/AsciiCase.h"
#include "mailparser/HeaderSyntax.h"

namespace MailParser {

void ContentTypeField::parseMainValue(std::string_view text) {
  const auto slash = text.find('/');
  if (slash != std::string_view::npos) {
    type = trimHeaderWhitespace(text.substr(0, slash));
    subtype = trimHeaderWhitespace(text.substr(slash + 1));
  } else if (caseInsensitiveEquals(trimHeaderWhitespace(text), "text")) {
    type = "text";
    subtype = "plain";
  } else {
    type.clear();
    subtype.clear();
  }
}

std::string ContentTypeField::mainValue() const {
  return type + "/" + subtype;
}

bool ContentTypeField::isMultipart() const noexcept {
  return caseInsensitiveEquals(type, "multipart");
}

}  // namespace MailParser
