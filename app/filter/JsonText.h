#pragma once

#include <string>
#include <string_view>

// `bytes` as a JSON string with its quotes. Mail text is bytes in no declared charset: valid
// UTF-8 passes as it is, every byte that is not part of a valid sequence (overlong forms,
// surrogates, code points above U+10FFFF, a sequence cut short) becomes \ufffd, and control
// characters, the quote and the backslash are escaped, so that any input gives valid JSON.
[[nodiscard]] std::string JsonString(std::string_view bytes);
