#include "mailparser/ContentDispositionField.h"

#include "common/AsciiCase.h"

namespace MailParser {

void ContentDispositionField::parseMainValue(std::string_view text) {
  isAttachment = !caseInsensitiveEquals(text, "inline");
}

std::string ContentDispositionField::mainValue() const {
  return isAttachment ? "attachment" : "inline";
}

}  // namespace MailParser
