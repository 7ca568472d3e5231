#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/ConfigTestSupport.h"
#include "config/TAddressOverrides.h"

namespace {

using ConfigTest::Sz;
using ::testing::Optional;

TEST(TAddressOverrideTest, MatchesAnAddressOrADomain) {
  struct Case {
    const char* address;  // of the override
    const char* sender;
    bool matches;
  };
  const Case cases[] = {
      // address overrides: the whole address, ASCII case ignored
      {"john.doe@example.com", "John.Doe@Example.COM", true},
      {"john.doe@example.com", "jane@example.com", false},
      {"john.doe@example.com", "john.doe@example.com.evil.org", false},
      {"j\xc3\xa4ger@example.com", "J\xc3\x84GER@example.com", false},  // only ASCII letters fold
      {"j\xc3\xa4ger@example.com", "J\xc3\xa4GER@EXAMPLE.COM", true},
      // domain overrides: the text after the sender's first "@"
      {"example.com", "Jane@EXAMPLE.com", true},
      {"EXAMPLE.COM", "jane@example.com", true},
      {"com", "jane@example.com", false},  // no subdomain match
      {"example.com", "jane@mail.example.com", false},
      {"example.com", "jane@example.com.", false},
      {"example.com", "example.com", false},  // a sender without "@" matches nothing
      {"example.com", "", false},
      {"example.com", "a@b@example.com", false},
      {"b@example.com", "a@b@example.com", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " / " + c.sender);
    const TAddressOverride addressOverride(c.address, "P");
    EXPECT_EQ(addressOverride.MatchesAddress(c.sender), c.matches);
  }
  EXPECT_TRUE(TAddressOverride("a@b", "").IsAddress());
  EXPECT_TRUE(TAddressOverride("@b", "").IsAddress());
  EXPECT_FALSE(TAddressOverride("b.example", "").IsAddress());
}

TEST(TAddressOverridesTest, AddressOverridesWinOverDomainOverridesWhereverTheyStand) {
  TAddressOverrides overrides;
  overrides.AddOverride(std::make_unique<TAddressOverride>("example.com", "Domain"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("com", "Top-level"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("john.doe@example.com", "Address"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("example.com", "Second domain twin"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("JOHN.DOE@example.com", "Second address twin"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("other.org", "no such profile"));
  struct Case {
    const char* sender;
    const char* profile;
  };
  const Case cases[] = {
      {"John.Doe@Example.COM", "Address"},
      {"jane@example.com", "Domain"},
      {"jane@mail.example.com", ""},
      {"x@com", "Top-level"},
      {"x@other.org", "no such profile"},  // returned as stored
      {"example.com", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sender);
    EXPECT_EQ(overrides.FindSecurityProfile(c.sender), c.profile);
  }
  EXPECT_EQ(TAddressOverrides().FindSecurityProfile("john.doe@example.com"), "");
  EXPECT_EQ(overrides.GetAddressOverrides(2)->SecurityProfile, "Address");
  EXPECT_EQ(overrides.GetAddressOverrides(6), nullptr);
}

using TAddressOverridesStorageTest = ConfigTest::RegistryTest;

TEST_F(TAddressOverridesStorageTest, RoundTripsInOrder) {
  TAddressOverrides overrides;
  overrides.AddOverride(std::make_unique<TAddressOverride>("example.com", "High"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("boss@example.com", "Low"));
  overrides.SaveToRegistry(Registry(), "\\Software\\QuorixTest\\Config\\AddressOverrides");
  EXPECT_THAT(reg.Get("Software\\QuorixTest\\Config\\AddressOverrides\\00000001", "Address"),
              Optional(Sz("boss@example.com")));
  EXPECT_THAT(reg.Get("Software\\QuorixTest\\Config\\AddressOverrides\\00000001", "SecurityProfile"),
              Optional(Sz("Low")));
  reg.Reopen();

  TAddressOverrides loaded;
  ASSERT_TRUE(loaded.LoadFromRegistry(Registry(), "\\Software\\QuorixTest\\Config\\AddressOverrides"));
  ASSERT_EQ(loaded.GetCount(), 2);
  EXPECT_EQ(loaded.GetAddressOverrides(0)->Address, "example.com");
  EXPECT_EQ(loaded.FindSecurityProfile("Boss@Example.com"), "Low");
}

}  // namespace
