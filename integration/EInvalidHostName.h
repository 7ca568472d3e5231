#pragma once

#include <string>
#include <string_view>

#include "common/EQuorixException.h"

// A name that would not come back from the resolver as the one host name it is meant to be:
// "'<name>' cannot be a host name: <why>". Control bytes in the name are shown escaped.
class EInvalidHostName : public EQuorixException {
 public:
  EInvalidHostName(std::string_view shownName, std::string_view why)
      : EQuorixException("'" + std::string(shownName) + "' cannot be a host name: " + std::string(why)) {}
};
