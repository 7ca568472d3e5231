#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "config/ConfigTestSupport.h"
#include "config/TAccounts.h"

namespace {

using ConfigTest::Dword;
using ConfigTest::Sz;
using ::testing::Optional;

TEST(TAccountsTest, TheLocalHostNameIsTheServerNameFollowedByQx) {
  struct Case {
    const char* server;
    const char* local;
  };
  const Case cases[] = {
      {"pop.example.com", "pop.example.com.qx"},
      {"10.0.0.5", "10.0.0.5.qx"},  // the form of the name does not matter
      {"POP.Example.COM", "POP.Example.COM.qx"},
      {"", ".qx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    EXPECT_EQ(TAccounts::MakeLocalHostname(c.server), c.local);
  }
}

TEST(TAccountsTest, AddAccountStoresTheAccountUnderItsLocalHostName) {
  TAccounts accounts;
  auto account = std::make_unique<TAccount>("pop.example.com", 995, "High");
  TAccount* raw = account.get();
  EXPECT_EQ(accounts.AddAccount(std::move(account)), raw);
  EXPECT_EQ(accounts.GetCount(), 1);
  EXPECT_EQ(accounts.GetAccount(0), raw);
  EXPECT_EQ(accounts.GetAccountLocalHostname(0), "pop.example.com.qx");
  EXPECT_EQ(accounts.GetAccount(1), nullptr);
}

TEST(TAccountsTest, TheLocalLookupIgnoresCaseTheRemoteLookupDoesNot) {
  TAccounts accounts;
  EXPECT_EQ(accounts.FindAccountWithLocalHostname("pop.example.com.qx"), nullptr);
  EXPECT_EQ(accounts.FindAccountWithRemoteHostname("pop.example.com"), nullptr);

  TAccount* first = accounts.AddAccount(std::make_unique<TAccount>("Pop.Example.com", 110, "Medium"));
  TAccount* samePortLater = accounts.AddAccount(std::make_unique<TAccount>("Pop.Example.com", 1110, "High"));
  TAccount* other = accounts.AddAccount(std::make_unique<TAccount>("mail.other.org", 110, "Low"));
  (void)samePortLater;
  struct Case {
    const char* name;
    TAccount* local;
    TAccount* remote;
  };
  const Case cases[] =
      {
          {"Pop.Example.com.qx", first, nullptr},
          {"POP.EXAMPLE.COM.QX", first, nullptr},  // the first of two under one name
          {"Pop.Example.com", nullptr, first},
          {"pop.example.com", nullptr, nullptr},  // letter case counts for the server name
          {"mail.other.org.qx", other, nullptr},
          {"mail.other.org", nullptr, other},
          {"", nullptr, nullptr},
      };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(accounts.FindAccountWithLocalHostname(c.name), c.local);
    EXPECT_EQ(accounts.FindAccountWithRemoteHostname(c.name), c.remote);
  }
}

TEST(TAccountTest, DescribesItselfInThreeLines) {
  EXPECT_EQ(TAccount("pop.example.com", 110, "Medium").toString(),
            "HostName   : pop.example.com\r\nRemotePort : 110\r\nSecProfile : Medium\r\n");
  const TAccount fresh;
  EXPECT_EQ(fresh.RemotePort, 110);
  EXPECT_EQ(fresh.toString(), "HostName   : \r\nRemotePort : 110\r\nSecProfile : \r\n");
}

using TAccountsStorageTest = ConfigTest::RegistryTest;

TEST_F(TAccountsStorageTest, EachAccountIsStoredUnderItsLocalHostName) {
  TAccounts accounts;
  accounts.AddAccount(std::make_unique<TAccount>("pop.b.example", 110, "Medium"));
  accounts.AddAccount(std::make_unique<TAccount>("pop.a.example", 995, "High"));
  accounts.SaveToRegistry(Registry(), "\\Software\\QuorixTest\\Config\\Accounts");
  const std::string key = "Software\\QuorixTest\\Config\\Accounts\\pop.a.example.qx";
  EXPECT_THAT(reg.Get(key, "RemoteHostname"), Optional(Sz("pop.a.example")));
  EXPECT_THAT(reg.Get(key, "RemotePort"), Optional(Dword(995)));
  EXPECT_THAT(reg.Get(key, "DefaultSecurityProfile"), Optional(Sz("High")));
  reg.Reopen();

  TAccounts loaded;
  ASSERT_TRUE(loaded.LoadFromRegistry(Registry(), "\\Software\\QuorixTest\\Config\\Accounts"));
  ASSERT_EQ(loaded.GetCount(), 2);
  EXPECT_EQ(loaded.GetAccountLocalHostname(0), "pop.a.example.qx");  // the registry's order
  EXPECT_EQ(loaded.FindAccountWithLocalHostname("POP.B.EXAMPLE.QX")->RemotePort, 110);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.a.example")->DefaultSecurityProfile, "High");
}

TEST_F(TAccountsStorageTest, TheTlsModeAndCaFileRoundTripEvenWhereTheyDifferFromThePortsDefault) {
  TAccounts accounts;
  TAccount* plain = accounts.AddAccount(std::make_unique<TAccount>("pop.plain.example", 995, "Medium"));
  plain->TLSMode = TAccount::TLSModeNone;  // 0 must not read back as "absent"
  TAccount* stls = accounts.AddAccount(std::make_unique<TAccount>("pop.stls.example", 995, "Medium"));
  stls->TLSMode = TAccount::TLSModeSTLS;
  stls->TLSCAFile = "/etc/quorix/private-ca.pem";
  TAccount* implicit = accounts.AddAccount(std::make_unique<TAccount>("pop.tls.example", 1995, "Medium"));
  implicit->TLSMode = TAccount::TLSModeImplicit;
  accounts.SaveToRegistry(Registry(), "\\Software\\QuorixTest\\Config\\Accounts");
  const std::string key = "Software\\QuorixTest\\Config\\Accounts\\pop.stls.example.qx";
  EXPECT_THAT(reg.Get(key, "TLSMode"), Optional(Dword(1)));
  EXPECT_THAT(reg.Get(key, "TLSCAFile"), Optional(Sz("/etc/quorix/private-ca.pem")));
  reg.Reopen();

  TAccounts loaded;
  ASSERT_TRUE(loaded.LoadFromRegistry(Registry(), "\\Software\\QuorixTest\\Config\\Accounts"));
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.plain.example")->TLSMode, TAccount::TLSModeNone);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.stls.example")->TLSMode, TAccount::TLSModeSTLS);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.stls.example")->TLSCAFile, "/etc/quorix/private-ca.pem");
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.tls.example")->TLSMode, TAccount::TLSModeImplicit);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.tls.example")->TLSCAFile, "");
}

// Settings written before accounts had a TLS mode: POP3S's port means implicit TLS, any
// other port STLS, never plain text.
TEST_F(TAccountsStorageTest, AccountsStoredWithoutATlsModeGetTheDefaultOfTheirPort) {
  const std::string root = "Software\\QuorixTest\\Config\\Accounts\\";
  for (const auto& [host, port] : {std::pair{"pop.a.example", 995}, std::pair{"pop.b.example", 110},
                                   std::pair{"pop.c.example", 1110}}) {
    reg.Put(root + host + ".qx", "RemoteHostname", Sz(host));
    reg.Put(root + host + ".qx", "RemotePort", Dword(port));
    reg.Put(root + host + ".qx", "DefaultSecurityProfile", Sz("Medium"));
  }
  reg.Reopen();
  TAccounts loaded;
  ASSERT_TRUE(loaded.LoadFromRegistry(Registry(), "\\Software\\QuorixTest\\Config\\Accounts"));
  ASSERT_EQ(loaded.GetCount(), 3);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.a.example")->TLSMode, TAccount::TLSModeImplicit);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.b.example")->TLSMode, TAccount::TLSModeSTLS);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.c.example")->TLSMode, TAccount::TLSModeSTLS);
  EXPECT_EQ(loaded.FindAccountWithRemoteHostname("pop.a.example")->TLSCAFile, "");

  // The same object loaded again from a key that has the mode takes the stored one.
  TAccount account("pop.d.example", 995, "Medium");
  account.TLSMode = TAccount::TLSModeNone;
  account.SaveToRegistry(Registry(), "\\" + root + "pop.d.example.qx");
  TAccount again;
  ASSERT_TRUE(again.LoadFromRegistry(Registry(), "\\" + root + "pop.d.example.qx"));
  EXPECT_EQ(again.TLSMode, TAccount::TLSModeNone);
  ASSERT_TRUE(again.LoadFromRegistry(Registry(), "\\" + root + "pop.a.example.qx"));
  EXPECT_EQ(again.TLSMode, TAccount::TLSModeImplicit);
}

}  // namespace
