#include "proxy/NiceSocketError.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/ESocketError.h"

TEST(NiceSocketError, SocketErrorGivesTheSystemReasonAlone) {
  const ESocketError refused(TSocketErrorKind::Refused, 111, "cannot connect to 'pop.example.com' port 110",
                             "Connection refused");
  EXPECT_EQ(NiceSocketError(refused), "Connection refused");
}

TEST(NiceSocketError, OtherExceptionsKeepTheirMessage) {
  EXPECT_EQ(NiceSocketError(std::runtime_error("line one\nline two")), "line one\nline two");
}
