#pragma once

#include <exception>
#include <string>

// The readable class name of an exception ("ESocketError", "std::runtime_error"), for error
// texts that ask the user to report the problem.
[[nodiscard]] std::string ExceptionClassName(const std::exception& error);
