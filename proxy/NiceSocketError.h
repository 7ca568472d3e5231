#pragma once
#include <exception>
#include <string>

// A short text for the user about a failed socket operation: for a socket error the
// system's reason alone ("Connection refused"), without what was attempted, which the
// caller's own sentence already says; for any other exception its message as it is.
[[nodiscard]] std::string NiceSocketError(const std::exception& error);
