#pragma once

#include <gtest/gtest.h>

#include "platform/ESocketError.h"

// The ESocketError that `call` throws, for a test to look into; a call that throws none is
// a test failure (and gives a placeholder error back).
template <typename Call>
ESocketError CaughtError(Call call) {
  try {
    call();
  } catch (const ESocketError& error) {
    return error;
  }
  ADD_FAILURE() << "no ESocketError was thrown";
  return {TSocketErrorKind::Other, 0, "nothing", "nothing"};
}
