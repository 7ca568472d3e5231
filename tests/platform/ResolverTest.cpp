#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/ESocketError.h"
#include "platform/Resolver.h"

// Against the system's own hosts file, which holds localhost on every machine we build on;
// the proxy's tests later point the resolver at a hosts file of their own (nss_wrapper).
namespace {

TEST(Resolver, NamesAndAddressesComeFromTheHostsFile) {
  const std::vector<std::string> addresses = Platform::ResolveIPv4("localhost");
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
  EXPECT_EQ(Platform::ResolveIPv4("127.84.3.1"), std::vector<std::string>{"127.84.3.1"});
  EXPECT_EQ(Platform::HostNameOf("127.0.0.1"), "localhost");
}

TEST(Resolver, UnknownNamesAndAddressesAreNotFound) {
  struct Case {
    const char* what;
    void (*lookUp)();
    const char* context;
  };
  const Case cases[] = {
      {"a name under .invalid", [] { (void)Platform::ResolveIPv4("no-such-host.invalid"); },
       "cannot find the address of 'no-such-host.invalid'"},
      {"a documentation address", [] { (void)Platform::HostNameOf("192.0.2.55"); },
       "cannot find the host name of 192.0.2.55"},
      {"an empty name", [] { (void)Platform::ResolveIPv4(""); }, "cannot find the address of ''"},
  };
  for (const Case& c : cases) {
    try {
      c.lookUp();
      ADD_FAILURE() << c.what << " was found";
    } catch (const ESocketError& error) {
      if (error.Kind() == TSocketErrorKind::ResolverFailure) {
        GTEST_SKIP() << "the resolver here cannot answer at all: " << error.what();
      }
      EXPECT_EQ(error.Kind(), TSocketErrorKind::NameNotFound) << c.what << ": " << error.what();
      EXPECT_TRUE(std::string(error.what()).starts_with(c.context)) << error.what();
    }
  }
}

TEST(Resolver, AReverseLookUpNeedsAnIPv4Address) {
  try {
    (void)Platform::HostNameOf("localhost");
    ADD_FAILURE() << "a name was taken for an address";
  } catch (const ESocketError& error) {
    EXPECT_EQ(std::string(error.what()), "cannot find the host name of localhost: not an IPv4 address");
  }
}

}  // namespace
