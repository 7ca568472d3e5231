#pragma once

#include <array>
#include <string_view>

// A web-bug provider whose images the user may allow (TConfig::AllowedWebBugProviders holds
// the Names of the allowed ones).
struct TWebBugProvider {
  std::string_view Name;         // identifier stored in the allowed list
  std::string_view Description;  // shown in the provider check list
  std::string_view Domains;      // comma-separated domain names whose hosts belong to it
  // Comma-separated IPv4 ranges, each "a.b.c.d/m.m.m.m" (network address and mask).
  std::string_view AddressRanges;
};

// The providers the program knows. The single placeholder entry names no domain and no range,
// so an allowed list built from it matches nothing.
extern const std::array<TWebBugProvider, 1> knownWebBugProviders;
