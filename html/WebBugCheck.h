#pragma once

#include <string_view>

#include "html/URI.h"
#include "html/URL.h"

namespace MailParser {
class IMessageProcessorInterface;
}

namespace HTMLFilter {

// The web-bug check: whether an image (or other resource a page loads) may stay. Reads the
// profile's image options through `settings`, and counts every block it makes there.
[[nodiscard]] bool imageURLAllowed(const URI& uri, MailParser::IMessageProcessorInterface& settings);

// Whether the URL seems to carry information that identifies the reader; sensitivity is
// 0 (Low), 1 (Medium) or 2 (High); any other value is taken as the nearest of them.
[[nodiscard]] bool looksLikeIdentifier(const URL& url, int sensitivity);
// The points behind looksLikeIdentifier, which answers true from 100 on.
[[nodiscard]] long long identifierScore(const URL& url, int sensitivity);

// Whether the text holds something shaped like an e-mail address (local part "@" a domain
// of at least two labels).
[[nodiscard]] bool containsEmailAddress(std::u16string_view text);

}  // namespace HTMLFilter
