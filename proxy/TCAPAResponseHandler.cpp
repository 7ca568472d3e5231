#include "proxy/TCAPAResponseHandler.h"

#include <algorithm>

#include "common/AsciiCase.h"
#include "config/Globals.h"
#include "proxy/ProxyTexts.h"

bool TCAPAResponseHandler::IsFilteredCapability(std::string_view line) {
  const std::string keyword = asciiUpperCase(line.substr(0, line.find(' ')));
  return std::ranges::find(FilteredCAPAOptions, keyword) != FilteredCAPAOptions.end();
}

std::string TCAPAResponseHandler::ModifyResultLine(std::string_view line) {
  return std::string(line).append(ProxyTexts::ProcessedSuffix);
}

bool TCAPAResponseHandler::ProcessNonResultLine(std::string_view line) {
  if (!IsFilteredCapability(line)) {
    // Stuffed again: a capability line ".." unstuffed to "." would end the list early.
    WriteStuffedLine(line);
  }
  return false;
}
