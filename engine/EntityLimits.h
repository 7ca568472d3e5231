#pragma once

#include <cstddef>

namespace MailParser {

// Hard limits that keep one hostile message from taking unbounded memory, time or stack.

// The most encoded text an HTML part may have for it to be filtered or converted; such a part
// is held whole until its end. A larger one is removed, since passing it unfiltered is not an
// option.
inline constexpr std::size_t MaxBufferedHTMLBytes = std::size_t{16} * 1024 * 1024;

// The deepest nesting of multiparts and attached messages that is filtered. Level 0 is the
// message body; a multipart or an attached message that would open level MaxNestingLevel is
// removed with everything inside it. Without a limit every level would cost a stack frame and
// every body line a boundary test per level.
inline constexpr int MaxNestingLevel = 100;

}  // namespace MailParser
