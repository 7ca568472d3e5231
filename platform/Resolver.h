#pragma once

#include <string>
#include <vector>

// Name look-ups through the system resolver (getaddrinfo/getnameinfo), so the hosts file
// and whatever else nsswitch.conf names are honoured, in its order. Failures are
// ESocketError of kind NameNotFound (the resolver answered: no such name or address) or
// ResolverFailure (it could not answer: no DNS server, a temporary failure); what() names
// what was looked up.
namespace Platform {

// The IPv4 addresses of `name`, dotted, in the resolver's order, without repeats. A dotted
// address is its own answer.
[[nodiscard]] std::vector<std::string> ResolveIPv4(const std::string& name);

// The host name that the dotted IPv4 address `ipv4` resolves back to (for an address in
// the hosts file, its first name there). An address without a name is NameNotFound, not
// the address itself.
[[nodiscard]] std::string HostNameOf(const std::string& ipv4);

}  // namespace Platform
