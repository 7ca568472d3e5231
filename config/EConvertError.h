#pragma once

#include "common/EQuorixException.h"

// An assignment between settings objects of different classes: "Cannot assign a %s to a %s"
// (the source's class name, then the target's).
class EConvertError : public EQuorixException {
 public:
  using EQuorixException::EQuorixException;
};
