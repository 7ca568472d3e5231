#include "config/TSecurityProfiles.h"

#include <memory>

TSecurityProfiles::TSecurityProfiles() : TNamedListContainer(&CreateStoreable<TSecurityProfile>) {}

TSecurityProfile* TSecurityProfiles::GetSecurityProfile(int index) const {
  return dynamic_cast<TSecurityProfile*>(GetObjectByIndex(index));
}

TSecurityProfile* TSecurityProfiles::FindSecurityProfile(std::string_view name) const {
  return dynamic_cast<TSecurityProfile*>(GetObjectByName(name));
}

TSecurityProfile* TSecurityProfiles::CreateDefaultSecurityProfile(const std::string& name,
                                                                  const TSecurityProfile& templateProfile) {
  if (TSecurityProfile* existing = FindSecurityProfile(name)) {
    return existing;
  }
  auto profile = std::make_unique<TSecurityProfile>();
  profile->Assign(templateProfile);
  TSecurityProfile* added = profile.get();
  Add(name, std::move(profile));
  return added;
}
