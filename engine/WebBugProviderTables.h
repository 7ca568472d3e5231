#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/TWebBugProvider.h"
#include "engine/HostResolver.h"
#include "engine/networkaddrrange.h"

// The web-bug providers of one message, by domain and by address range. Built from a provider
// table (the program's own, or a test's); a domain or range that cannot be read is left out
// rather than failing the message. Host names are resolved at most once per table.
class WebBugProviderTables {
 public:
  WebBugProviderTables(std::span<const TWebBugProvider> providers, HostResolver resolver);

  // The provider the host belongs to, or nullopt. The host (letter case and one trailing "."
  // ignored) is matched against the domains, dropping its leading labels one at a time, then,
  // if there are ranges, as an IPv4 address: read as browsers read one, else resolved by name
  // (never a name whose last label is a number: a browser would not look it up either).
  [[nodiscard]] std::optional<std::string> findProvider(std::string_view host);

  [[nodiscard]] const std::map<std::string, std::string, std::less<>>& domains() const noexcept { return domains_; }
  [[nodiscard]] const std::vector<networkaddrrange>& ranges() const noexcept { return ranges_; }

 private:
  [[nodiscard]] std::optional<std::uint32_t> addressOf(const std::string& host);

  HostResolver resolver_;
  std::map<std::string, std::string, std::less<>> domains_;  // lower-case domain -> provider
  std::vector<networkaddrrange> ranges_;
  std::map<std::string, std::optional<std::uint32_t>, std::less<>> resolved_;
};
