#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TRegNameLess.h"

// The system MIME database in the mime.types format: one type per line followed by its
// extensions, separated by blanks or tabs; "#" starts a comment that runs to the end of the
// line. It feeds the read-only HKEY_CLASSES_ROOT\MIME\Database\Content Type view.
namespace Platform {

// Content type (spelled as the file spells it, compared ignoring letter case) -> ".ext".
using MimeExtensionMap = std::map<std::string, std::string, TRegNameLess>;

// Adds the types of one file's text: a type's extension is "." and the first extension that
// its line lists, and a later line for the same type replaces the earlier entry. A line
// that lists no extension adds nothing (and removes nothing); a line whose first word is
// not of the form "type/subtype" (without "\") is skipped, so a system file's oddities
// never hide the rest.
void AddMimeTypeExtensions(std::string_view text, MimeExtensionMap& extensions);

// Reads the files in order, a later file's entry replacing an earlier one's. Missing or
// unreadable files are skipped: without a MIME database the view is simply empty.
[[nodiscard]] MimeExtensionMap ReadMimeTypeFiles(const std::vector<std::filesystem::path>& files);

}  // namespace Platform
