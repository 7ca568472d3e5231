#pragma once

#include <optional>
#include <string>
#include <string_view>

class TAccounts;
class TAddressOverrides;

// A profile still named by an account or an address override must not be deleted: the mail
// of that account or sender would otherwise fall back to a profile nobody chose.
//
// The reason for refusing, or nullopt when nothing names the profile (names compared
// exactly). Accounts are checked first:
//   "The '<profile>' profile is currently selected as the default for the '<server>'
//    account.  You must change this account before you can delete the profile."
//   "The '<profile>' profile is currently selected for the '<address>' address override.
//    You must change this account before you can delete the profile."
// (<server> is the account's RemoteHostname; the texts have two blanks after each ".".)
[[nodiscard]] std::optional<std::string> SecurityProfileDeletionRefusal(std::string_view profile,
                                                                        const TAccounts& accounts,
                                                                        const TAddressOverrides& overrides);

[[nodiscard]] std::string ProfileSelectedForAccountMessage(std::string_view profile, std::string_view server);
[[nodiscard]] std::string ProfileSelectedForOverrideMessage(std::string_view profile,
                                                            std::string_view address);
