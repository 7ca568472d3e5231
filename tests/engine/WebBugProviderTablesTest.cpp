#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/WebBugProviderTables.h"
#include "engine/networkaddrrange.h"

namespace {

std::optional<std::uint32_t> Address(const char* dotted) {
  in_addr address{};
  if (inet_pton(AF_INET, dotted, &address) != 1) throw std::invalid_argument(dotted);
  return address.s_addr;
}

TEST(ParseIPv4Address, ReadsTheFormsBrowsersRead) {
  struct Case {
    std::string text;
    std::optional<const char*> expected;  // dotted form, nullopt: not an address
  };
  const Case cases[] = {
      {"192.0.2.1", "192.0.2.1"},
      {"192.0.2.1.", "192.0.2.1"},  // one trailing dot, as in an absolute name
      {"127.1", "127.0.0.1"},
      {"0x7f.1", "127.0.0.1"},
      {"2130706433", "127.0.0.1"},
      {"0x7F000001", "127.0.0.1"},
      {"0177.0.0.1", "127.0.0.1"},
      {"10.0x10.1", "10.16.0.1"},
      {"255.255.255.255", "255.255.255.255"},
      {"4294967295", "255.255.255.255"},
      // Not addresses: these go to the name look-up, or to none.
      {"", std::nullopt},
      {".", std::nullopt},
      {"256.1.1.1", std::nullopt},
      {"1.2.3.256", std::nullopt},
      {"1.2.65536", std::nullopt},
      {"4294967296", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1..2.3", std::nullopt},
      {"1.2.3.4..", std::nullopt},
      {"08.1.1.1", std::nullopt},  // 8 is no octal digit
      {"0x1g.1.1.1", std::nullopt},
      {"1.2.3.4 junk", std::nullopt},  // inet_aton would stop at the blank
      {std::string("1.2.3.4\0", 8), std::nullopt},
      {"1.2.3.4\r", std::nullopt},
      {"1.2.", "1.0.0.2"},  // stops early, and reads as browsers read it
      {"1.2.0x", "1.2.0.0"},
      {"0x", "0.0.0.0"},
      {"-1.2.3.4", std::nullopt},
      {"tracker.example", std::nullopt},
      {"\xff\xfe.1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parseIPv4Address(c.text);
    if (c.expected) {
      EXPECT_EQ(parsed, Address(*c.expected));
    } else {
      EXPECT_EQ(parsed, std::nullopt);
    }
  }
}

TEST(EndsInNumber, NumericLastLabelsAreNeverNames) {
  EXPECT_TRUE(endsInNumber("999.1.1.1"));
  EXPECT_TRUE(endsInNumber("example.0x10"));
  EXPECT_TRUE(endsInNumber("example.42."));
  EXPECT_FALSE(endsInNumber("tracker.example"));
  EXPECT_FALSE(endsInNumber("1.2.3.example"));
  EXPECT_FALSE(endsInNumber("example.0xg"));
  EXPECT_FALSE(endsInNumber(""));
}

TEST(ParseNetworkAddressRange, DottedMasksAndPrefixLengths) {
  struct Case {
    const char* text;
    std::optional<std::pair<const char*, const char*>> expected;  // address, mask
  };
  const Case cases[] = {
      {"192.0.2.0/255.255.255.0", std::pair{"192.0.2.0", "255.255.255.0"}},
      {" 192.0.2.0 / 255.255.0.0 ", std::pair{"192.0.2.0", "255.255.0.0"}},
      {"192.0.2.0/24", std::pair{"192.0.2.0", "255.255.255.0"}},
      {"0.0.0.0/0", std::pair{"0.0.0.0", "0.0.0.0"}},
      {"192.0.2.7/32", std::pair{"192.0.2.7", "255.255.255.255"}},
      {"192.0.2.0/33", std::nullopt},
      {"192.0.2.0", std::nullopt},
      {"192.0.2.0/", std::nullopt},
      {"tracker.example/255.0.0.0", std::nullopt},
      {"192.0.2.0/mask", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto range = parseNetworkAddressRange(c.text, "p");
    if (!c.expected) {
      EXPECT_EQ(range, std::nullopt);
      continue;
    }
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(range->address, Address(c.expected->first));
    EXPECT_EQ(range->mask, Address(c.expected->second));
    EXPECT_EQ(range->provider, "p");
  }
}

TEST(NetworkAddressRange, ContainsComparesUnderTheMask) {
  const auto range = parseNetworkAddressRange("192.0.2.77/255.255.255.0", "p");
  ASSERT_TRUE(range.has_value());
  EXPECT_TRUE(range->contains(*Address("192.0.2.1")));
  EXPECT_TRUE(range->contains(*Address("192.0.2.255")));
  EXPECT_FALSE(range->contains(*Address("192.0.3.1")));
}

// Two providers by domain, one also by range; a name the resolver knows maps into the range.
class ProviderTablesTest : public ::testing::Test {
 protected:
  static constexpr std::array<TWebBugProvider, 4> kProviders = {{
      {"adnet", "Ad network", "adnet.example, Tracker.Example.", "192.0.2.0/255.255.255.0"},
      {"pixels", "Pixel host", "pixels.example,,cdn.pixels.example", ""},
      {"late", "Same domain again", "adnet.example", "198.51.100.0/24, nonsense/1, 203.0.113.9/32"},
      {"broken", "Nothing readable", "", "300.1.1.1/8"},
  }};

  WebBugProviderTables MakeTables() {
    return WebBugProviderTables(kProviders, [this](const std::string& host) -> std::optional<std::uint32_t> {
      lookups.push_back(host);
      const auto found = names.find(host);
      if (found == names.end()) return std::nullopt;
      return Address(found->second.c_str());
    });
  }

  std::map<std::string, std::string> names{{"mail-images.example", "192.0.2.44"},
                                           {"elsewhere.example", "203.0.113.1"}};
  std::vector<std::string> lookups;
};

TEST_F(ProviderTablesTest, FindsProvidersByDomainAboveTheHostThenByAddress) {
  WebBugProviderTables tables = MakeTables();
  struct Case {
    const char* host;
    std::optional<const char*> provider;
  };
  const Case cases[] = {
      {"adnet.example", "adnet"},
      {"img.eu.adnet.example", "adnet"},  // three labels deep, listed by its last two
      {"IMG.AdNet.Example", "adnet"},
      {"img.adnet.example.", "adnet"},    // absolute name
      {"tracker.example", "adnet"},       // listed with capitals and a trailing dot
      {"cdn.pixels.example", "pixels"},
      {"x.pixels.example", "pixels"},
      {"notadnet.example", std::nullopt},  // a suffix that is not a label
      {"example", std::nullopt},
      {"192.0.2.9", "adnet"},
      {"0xc0.0.2.9", "adnet"},
      {"3221225993", "adnet"},  // 192.0.2.9
      {"198.51.100.200", "late"},
      {"203.0.113.9", "late"},
      {"203.0.113.10", std::nullopt},
      {"mail-images.example", "adnet"},  // by its resolved address
      {"elsewhere.example", std::nullopt},
      {"unknown.example", std::nullopt},
      {"999.1.1.1", std::nullopt},
      {"[2001:db8::1]", std::nullopt},
      {"", std::nullopt},
      {".", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    const auto found = tables.findProvider(c.host);
    if (c.provider) {
      EXPECT_EQ(found, std::optional<std::string>(*c.provider));
    } else {
      EXPECT_EQ(found, std::nullopt);
    }
  }
  // Only names are looked up, each once; numbers and literals never reach the resolver.
  EXPECT_EQ(lookups, (std::vector<std::string>{"notadnet.example", "example", "mail-images.example",
                                               "elsewhere.example", "unknown.example"}));
}

TEST_F(ProviderTablesTest, ResolvesEachNameOnceAndOnlyWhenThereAreRanges) {
  WebBugProviderTables tables = MakeTables();
  EXPECT_EQ(tables.findProvider("mail-images.example"), "adnet");
  EXPECT_EQ(tables.findProvider("Mail-Images.Example"), "adnet");
  EXPECT_EQ(lookups.size(), 1U);

  static constexpr std::array<TWebBugProvider, 1> kDomainsOnly = {{{"d", "", "d.example", ""}}};
  int calls = 0;
  WebBugProviderTables domainsOnly(kDomainsOnly, [&](const std::string&) -> std::optional<std::uint32_t> {
    ++calls;
    return Address("192.0.2.1");
  });
  EXPECT_EQ(domainsOnly.findProvider("other.example"), std::nullopt);
  EXPECT_EQ(calls, 0);
}

TEST_F(ProviderTablesTest, UnreadableEntriesAreLeftOutAndTheFirstProviderKeepsADomain) {
  const WebBugProviderTables tables = MakeTables();
  EXPECT_EQ(tables.domains().at("adnet.example"), "adnet");
  EXPECT_EQ(tables.domains().size(), 4U);  // adnet.example, tracker.example, pixels.example, cdn.pixels.example
  EXPECT_EQ(tables.ranges().size(), 3U);   // nonsense/1 and 300.1.1.1/8 dropped
}

TEST_F(ProviderTablesTest, AResolverThatThrowsIsANameThatCannotBeResolved) {
  WebBugProviderTables tables(kProviders, [](const std::string&) -> std::optional<std::uint32_t> {
    throw std::runtime_error("resolver down");
  });
  EXPECT_EQ(tables.findProvider("mail-images.example"), std::nullopt);
}

TEST(KnownWebBugProviders, ThePlaceholderMatchesNothingAndResolvesNothing) {
  int calls = 0;
  WebBugProviderTables tables(knownWebBugProviders, [&](const std::string&) -> std::optional<std::uint32_t> {
    ++calls;
    return std::nullopt;
  });
  EXPECT_EQ(tables.findProvider("disabled"), std::nullopt);
  EXPECT_EQ(tables.findProvider("www.example.com"), std::nullopt);
  EXPECT_EQ(calls, 0);
}

}  // namespace
