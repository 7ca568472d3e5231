#pragma once

#include <string>
#include <string_view>

#include "config/TStoreableObject.h"

// Assigns a security profile to one sender address (contains "@") or to every sender of one
// domain (no "@").
class TAddressOverride : public TStoreableObject {
 public:
  TAddressOverride() = default;
  TAddressOverride(std::string address, std::string securityProfile);

  [[nodiscard]] std::string ClassName() const override { return "TAddressOverride"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;

  // Published: Address, SecurityProfile (strings).
  std::string Address;
  std::string SecurityProfile;

  [[nodiscard]] bool IsAddress() const;
  // Address override: the whole address equal, ASCII letter case ignored. Domain override:
  // the text after the sender's first "@" equals the domain (case ignored); subdomains do not
  // match; a sender without "@" matches nothing.
  [[nodiscard]] bool MatchesAddress(std::string_view senderAddress) const;
};
