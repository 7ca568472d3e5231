#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/HostName.h"

namespace {

using ::testing::HasSubstr;

TEST(HostName, Ipv4AddressesAreFourNumbersBelow256) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"127.84.3.1", true}, {"0.0.0.0", true},         {"255.255.255.255", true}, {"256.1.1.1", false},
      {"1.2.3", false},     {"1.2.3.4.5", false},      {"1.2.3.4 ", false},      {"01.002.3.4", true},
      {"1.2.3.0004", false}, {"1..3.4", false},        {"", false},              {"1.2.3.4\n", false},
      {"a.b.c.d", false},   {std::string("1.2.3.4\0", 8), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HostName::IsValidIpv4(c.text), c.valid) << HostName::Shown(c.text);
  }
}

TEST(HostName, AcceptsWhatTheResolverReadsAsOneName) {
  for (const std::string& name : std::vector<std::string>{"pop.example.org.qx", "qx.10.0.0.5", "10.0.0.5.qx", "mail-1.example_x.com.qx", "A", "xn--bcher-kva.de.qx",
        std::string(63, 'a') + ".qx", std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                         std::string(63, 'c') + "." + std::string(61, 'd')}) {
    EXPECT_EQ(HostName::Problem(name), "") << name;
  }
}

TEST(HostName, RefusesWhatWouldMakeAnotherLineOrName) {
  struct Case {
    std::string name;
    std::string why;
  };
  const Case cases[] = {
      {"", "empty"},
      {"pop example.qx", "blank or a tab"},
      {"pop\texample.qx", "blank or a tab"},
      {"pop#x.qx", "comment"},
      {std::string("pop\0x.qx", 8), "control character \\x00"},
      {"pop\rx.qx", "control character \\x0D"},
      {"pop\nx.qx", "control character \\x0A"},
      {"b\xC3\xBC" "cher.de.qx", "outside ASCII"},
      {"pop,x.qx", "\",\""},
      {"[::1].qx", "\"[\""},
      {"::1.qx", "\":\""},
      {".pop.qx", "empty part"},
      {"pop..qx", "empty part"},
      {"pop.qx.", "empty part"},
      {std::string(64, 'a') + ".qx", "longer than the 63"},
      {std::string(251, 'a') + ".qx", "longer than the 253"},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(HostName::Problem(c.name), HasSubstr(c.why)) << HostName::Shown(c.name);
  }
}

TEST(HostName, ShownNamesCarryNoControlBytes) {
  EXPECT_EQ(HostName::Shown(std::string("a\r\n\0\xFF\\b", 7)), "a\\x0D\\x0A\\x00\\xFF\\x5Cb");
  EXPECT_EQ(HostName::Shown(std::string(1000, 'x')).size(), HostName::kMaxNameLength + 16 + 3);
}

}  // namespace
