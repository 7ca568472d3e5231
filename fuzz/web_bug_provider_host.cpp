// Reads arbitrary bytes as the host of an image URL and as an address range of the provider
// table. Checks: an address that reads as IPv4 reads back the same from its dotted form; the
// resolver is never asked about a literal address or a name that ends in a number, nor about
// the same name twice; range reading never fails.

#include <arpa/inet.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "engine/WebBugProviderTables.h"
#include "engine/networkaddrrange.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string host(reinterpret_cast<const char*>(data), size);

  if (const auto address = parseIPv4Address(host)) {
    in_addr raw{};
    raw.s_addr = *address;
    char dotted[INET_ADDRSTRLEN] = {};
    check(inet_ntop(AF_INET, &raw, dotted, sizeof dotted) != nullptr, "inet_ntop failed");
    check(parseIPv4Address(dotted) == address, "dotted form does not read back");
  }

  static constexpr std::array<TWebBugProvider, 2> kProviders = {{
      {"adnet", "", "adnet.example, tracker.example", "192.0.2.0/255.255.255.0, 198.51.100.0/24"},
      {"pixels", "", "pixels.example", ""},
  }};
  std::set<std::string> asked;
  WebBugProviderTables tables(kProviders, [&](const std::string& name) -> std::optional<std::uint32_t> {
    check(!parseIPv4Address(name) && !endsInNumber(name), "resolver asked about a number");
    check(asked.insert(name).second, "resolver asked twice");
    return name.size() % 2 == 0 ? std::optional<std::uint32_t>(htonl(0xC0000201U)) : std::nullopt;
  });
  (void)tables.findProvider(host);
  (void)tables.findProvider(host);

  (void)parseNetworkAddressRange(host, "fuzzed");
  return 0;
}
