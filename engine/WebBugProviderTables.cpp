#include "engine/WebBugProviderTables.h"

#include <exception>
#include <utility>

#include "common/AsciiCase.h"

namespace {

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <class F>
void forEachCommaItem(std::string_view list, F&& f) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    const std::string_view item = trimBlanks(list.substr(0, comma));
    if (!item.empty()) f(item);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace

WebBugProviderTables::WebBugProviderTables(std::span<const TWebBugProvider> providers, HostResolver resolver)
    : resolver_(std::move(resolver)) {
  for (const TWebBugProvider& provider : providers) {
    const std::string name(provider.Name);
    forEachCommaItem(provider.Domains, [&](std::string_view domain) {
      std::string key = asciiLowerCase(domain);
      while (!key.empty() && key.back() == '.') key.pop_back();
      if (!key.empty()) domains_.emplace(std::move(key), name);  // the first provider keeps a domain
    });
    forEachCommaItem(provider.AddressRanges, [&](std::string_view range) {
      if (auto parsed = parseNetworkAddressRange(range, name)) ranges_.push_back(std::move(*parsed));
    });
  }
}

std::optional<std::string> WebBugProviderTables::findProvider(std::string_view host) {
  // "tracker.example." is the same host as "tracker.example" to a browser.
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  if (host.empty()) return std::nullopt;
  const std::string lowerHost = asciiLowerCase(host);

  if (!domains_.empty()) {
    std::string_view name = lowerHost;
    while (!name.empty()) {
      if (const auto found = domains_.find(name); found != domains_.end()) return found->second;
      const auto dot = name.find('.');
      if (dot == std::string_view::npos) break;
      name.remove_prefix(dot + 1);
    }
  }

  if (!ranges_.empty()) {
    if (const auto address = addressOf(lowerHost)) {
      for (const networkaddrrange& range : ranges_) {
        if (range.contains(*address)) return range.provider;
      }
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> WebBugProviderTables::addressOf(const std::string& host) {
  if (const auto literal = parseIPv4Address(host)) return literal;
  // Bracketed IPv6 literals, numeric forms that are no address, and names no resolver would
  // take are nobody's: looking them up could only give a wrong answer or a slow one.
  if (endsInNumber(host) || host.find_first_of(std::string_view("[]:/\\ \0", 7)) != std::string::npos ||
      !resolver_) {
    return std::nullopt;
  }
  if (const auto known = resolved_.find(host); known != resolved_.end()) return known->second;
  std::optional<std::uint32_t> address;
  try {
    address = resolver_(host);
  } catch (const std::exception&) {
    // A resolver that fails is a name that cannot be resolved.
  }
  resolved_.emplace(host, address);
  return address;
}
