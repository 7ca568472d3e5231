#pragma once

#include <string>
#include <string_view>

#include "config/TNamedListContainer.h"
#include "config/TSecurityProfile.h"

// The security profiles by name, each stored in a subkey named after it. Names are meant to
// be unique ignoring letter case; the dialogs that add and rename profiles make sure of it.
class TSecurityProfiles : public TNamedListContainer {
 public:
  TSecurityProfiles();

  [[nodiscard]] std::string ClassName() const override { return "TSecurityProfiles"; }

  // The profile at `index`, or null when the index is out of range (or the item there is not a
  // security profile).
  [[nodiscard]] TSecurityProfile* GetSecurityProfile(int index) const;
  // The first profile of that name (letter case ignored), or null.
  [[nodiscard]] TSecurityProfile* FindSecurityProfile(std::string_view name) const;

  // Appends a copy of `templateProfile` under `name` unless a profile of that name exists,
  // letter case ignored (so a stored "low" keeps the built-in "Low" from being added).
  // Returns the profile now found under the name.
  TSecurityProfile* CreateDefaultSecurityProfile(const std::string& name,
                                                 const TSecurityProfile& templateProfile);
};
