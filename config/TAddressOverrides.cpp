#include "config/TAddressOverrides.h"

#include <utility>

TAddressOverrides::TAddressOverrides() : TListContainer(&CreateStoreable<TAddressOverride>) {}

TAddressOverride* TAddressOverrides::GetAddressOverrides(int index) const {
  return dynamic_cast<TAddressOverride*>(GetObjectByIndex(index));
}

TAddressOverride* TAddressOverrides::AddOverride(std::unique_ptr<TAddressOverride> addressOverride) {
  TAddressOverride* added = addressOverride.get();
  Add(std::move(addressOverride));
  return added;
}

std::string TAddressOverrides::FindSecurityProfile(std::string_view senderAddress) const {
  // Two passes so that an override naming the sender's whole address wins over one naming
  // the domain, wherever each stands in the list.
  for (const bool addressPass : {true, false}) {
    for (int i = 0; i < GetCount(); ++i) {
      const TAddressOverride* addressOverride = GetAddressOverrides(i);
      if (addressOverride != nullptr && addressOverride->IsAddress() == addressPass &&
          addressOverride->MatchesAddress(senderAddress)) {
        return addressOverride->SecurityProfile;
      }
    }
  }
  return {};
}
