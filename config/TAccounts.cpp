#include "config/TAccounts.h"

#include <utility>

TAccounts::TAccounts() : TNamedListContainer(&CreateStoreable<TAccount>) {}

std::string TAccounts::MakeLocalHostname(std::string_view remoteHostname) {
  std::string localHostname(remoteHostname);
  localHostname += ".qx";
  return localHostname;
}

TAccount* TAccounts::AddAccount(std::unique_ptr<TAccount> account) {
  TAccount* added = account.get();
  std::string name = MakeLocalHostname(added->RemoteHostname);
  Add(name, std::move(account));
  return added;
}

TAccount* TAccounts::FindAccountWithLocalHostname(std::string_view localHostname) const {
  return dynamic_cast<TAccount*>(GetObjectByName(localHostname));
}

TAccount* TAccounts::FindAccountWithRemoteHostname(std::string_view host) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (TAccount* account = GetAccount(i); account != nullptr && account->RemoteHostname == host) {
      return account;
    }
  }
  return nullptr;
}

TAccount* TAccounts::GetAccount(int index) const {
  return dynamic_cast<TAccount*>(GetObjectByIndex(index));
}

std::string TAccounts::GetAccountLocalHostname(int index) const {
  return GetName(index);
}
