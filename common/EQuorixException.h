#pragma once

#include <stdexcept>
#include <string>

// Base of every exception that the settings, proxy, log, integration and window classes
// raise. The message engine does not use it: it throws std::runtime_error and
// std::invalid_argument with fixed texts.
class EQuorixException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
