#pragma once

#include <string>
#include <string_view>

#include "config/TAddressOverride.h"
#include "config/TListContainer.h"

// The sender overrides of the configuration, in list order. Duplicates are allowed.
class TAddressOverrides : public TListContainer {
 public:
  TAddressOverrides();

  [[nodiscard]] std::string ClassName() const override { return "TAddressOverrides"; }

  [[nodiscard]] TAddressOverride* GetAddressOverrides(int index) const;
  TAddressOverride* AddOverride(std::unique_ptr<TAddressOverride> addressOverride);

  // The profile name for a sender: the first matching address override, else the first
  // matching domain override, else "". The name is returned as stored.
  [[nodiscard]] std::string FindSecurityProfile(std::string_view senderAddress) const;
};
