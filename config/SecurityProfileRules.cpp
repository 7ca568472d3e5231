#include "config/SecurityProfileRules.h"

#include "config/TAccounts.h"
#include "config/TAddressOverrides.h"

std::string ProfileSelectedForAccountMessage(std::string_view profile, std::string_view server) {
  return "The '" + std::string(profile) + "' profile is currently selected as the default for the '" +
         std::string(server) + "' account.  You must change this account before you can delete the profile.";
}

std::string ProfileSelectedForOverrideMessage(std::string_view profile, std::string_view address) {
  return "The '" + std::string(profile) + "' profile is currently selected for the '" + std::string(address) +
         "' address override.  You must change this account before you can delete the profile.";
}

std::optional<std::string> SecurityProfileDeletionRefusal(std::string_view profile, const TAccounts& accounts,
                                                          const TAddressOverrides& overrides) {
  for (int i = 0; i < accounts.GetCount(); ++i) {
    const TAccount* account = accounts.GetAccount(i);
    if (account != nullptr && account->DefaultSecurityProfile == profile) {
      return ProfileSelectedForAccountMessage(profile, account->RemoteHostname);
    }
  }
  for (int i = 0; i < overrides.GetCount(); ++i) {
    const TAddressOverride* addressOverride = overrides.GetAddressOverrides(i);
    if (addressOverride != nullptr && addressOverride->SecurityProfile == profile) {
      return ProfileSelectedForOverrideMessage(profile, addressOverride->Address);
    }
  }
  return std::nullopt;
}
