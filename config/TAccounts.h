#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "config/TAccount.h"
#include "config/TNamedListContainer.h"

// The accounts, each stored under its local host name: the server's name followed by ".qx".
// The hosts file maps every local host name to its own loopback address, which is how a
// connection finds its account.
class TAccounts : public TNamedListContainer {
 public:
  TAccounts();

  [[nodiscard]] std::string ClassName() const override { return "TAccounts"; }

  // host + ".qx", whatever the form of the host name.
  [[nodiscard]] static std::string MakeLocalHostname(std::string_view remoteHostname);

  // Appends the account under MakeLocalHostname(RemoteHostname), taking ownership.
  TAccount* AddAccount(std::unique_ptr<TAccount> account);

  // The account stored under that name (letter case ignored), or null.
  [[nodiscard]] TAccount* FindAccountWithLocalHostname(std::string_view localHostname) const;
  // The first account whose RemoteHostname equals `host` exactly (letter case counts), or null.
  [[nodiscard]] TAccount* FindAccountWithRemoteHostname(std::string_view host) const;

  [[nodiscard]] TAccount* GetAccount(int index) const;
  [[nodiscard]] std::string GetAccountLocalHostname(int index) const;
};
