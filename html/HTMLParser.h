#pragma once

#include <string>
#include <string_view>

#include "html/IHTMLHandler.h"

namespace HTMLFilter {

// Tokenizes one whole document (or, with fragment set, a piece of one) into handler events.
//
// Accepts every input and reports no errors: unterminated constructs are closed at the end of
// the text. One forward pass; each event is delivered before the next character is looked
// at. The text is never copied; only strings handed to the handler are built.
void parseHTML(IHTMLHandler& handler, std::u16string_view text, bool fragment);

// The name key of a tag or attribute name: A-Z lower-cased; a-z, 0-9, ":" and "-" kept;
// every other character dropped ("Data_Src" gives "datasrc").
std::string normaliseName(std::u16string_view name);

}  // namespace HTMLFilter
