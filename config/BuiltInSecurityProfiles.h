#pragma once

#include <string_view>

#include "config/TSecurityProfile.h"

class TSecurityProfiles;

// The templates of the built-in profiles "Low", "Medium" and "High". They are built once, on
// first use (safe when several threads get there at the same time), and never change
// afterwards, so any thread may read them without a lock. Each has the 36 attachment types
// of the built-in policy, text/html first.
[[nodiscard]] const TSecurityProfile& LowSecurityProfile();
[[nodiscard]] const TSecurityProfile& MediumSecurityProfile();
[[nodiscard]] const TSecurityProfile& HighSecurityProfile();

// True when `name` is exactly "Low", "Medium" or "High" (letter case counts: a user's "low"
// is an ordinary profile, which may be renamed and deleted but not reset).
[[nodiscard]] bool IsBuiltInSecurityProfileName(std::string_view name) noexcept;

// The template of a built-in profile name (exact case), or null for any other name.
[[nodiscard]] const TSecurityProfile* BuiltInSecurityProfileTemplate(std::string_view name);

// Adds "Low", "Medium" and "High" from their templates where no profile of the name exists
// (letter case ignored); profiles already present keep their values.
void CreateDefaultSecurityProfiles(TSecurityProfiles& profiles);
