#pragma once

#include <string>
#include <string_view>

namespace MailParser {
class IMessageProcessorInterface;
}

namespace HTMLFilter {

// Filters one HTML text with the profile behind `settings` and writes it back with
// HTMLRewriter: parseHTML into HTMLFilter into HTMLRewriter, the whole pipeline a caller
// needs. Throws std::runtime_error with the filter's one error text when the document cannot
// be filtered; no output is ever returned from such a parse. `addFooter` false leaves out the
// footer HTML the filter otherwise adds.
[[nodiscard]] std::string filterDocument(std::u16string_view html, MailParser::IMessageProcessorInterface& settings,
                                         bool fragment = false, bool addFooter = true);

}  // namespace HTMLFilter
