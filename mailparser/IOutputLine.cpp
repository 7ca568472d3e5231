#include "mailparser/IOutputLine.h"

namespace MailParser {

void IOutputLine::outputLine(std::string_view line, std::size_t maxLength) {
  if (maxLength == 0 || line.size() <= maxLength) {
    outputLine(line);
    return;
  }
  for (std::size_t start = 0; start < line.size(); start += maxLength) {
    outputLine(line.substr(start, maxLength));
  }
}

}  // namespace MailParser
