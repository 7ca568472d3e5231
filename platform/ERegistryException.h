#pragma once

#include "common/EQuorixException.h"

// Raised by the registry store and TRegistry: a value of the wrong type ("Invalid data type
// for '%s'"), a missing value where one is required ("Failed to get data for '%s'"), a failed
// write ("Failed to set data for '%s'"), a settings file that cannot be read or written (the
// text names the file and, for a parse error, the line and what was wrong).
class ERegistryException : public EQuorixException {
 public:
  using EQuorixException::EQuorixException;
};
