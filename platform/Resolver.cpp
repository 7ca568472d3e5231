#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/ESocketError.h"

namespace Platform {

namespace {

ESocketError ResolverError(int code, const std::string& context) {
  switch (code) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return {TSocketErrorKind::NameNotFound, 0, context, ::gai_strerror(code)};
    case EAI_SYSTEM:
      return {TSocketErrorKind::ResolverFailure, errno, context, std::strerror(errno)};
    default:
      return {TSocketErrorKind::ResolverFailure, 0, context, ::gai_strerror(code)};
  }
}

}  // namespace

std::vector<std::string> ResolveIPv4(const std::string& name) {
  const std::string context = "cannot find the address of '" + name + "'";
  if (name.empty()) {
    throw ESocketError(TSocketErrorKind::NameNotFound, 0, context, "the host name is empty");
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (code != 0) {
    throw ResolverError(code, context);
  }
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, &::freeaddrinfo);
  std::vector<std::string> addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) {
      continue;
    }
    sockaddr_in address{};
    std::memcpy(&address, entry->ai_addr, sizeof address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
      addresses.emplace_back(text);
    }
  }
  if (addresses.empty()) {
    throw ESocketError(TSocketErrorKind::NameNotFound, 0, context, "no IPv4 address is known for it");
  }
  return addresses;
}

std::string HostNameOf(const std::string& ipv4) {
  const std::string context = "cannot find the host name of " + ipv4;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (::inet_pton(AF_INET, ipv4.c_str(), &address.sin_addr) != 1) {
    throw ESocketError(TSocketErrorKind::Other, 0, context, "not an IPv4 address");
  }
  char name[NI_MAXHOST] = {};
  const int code = ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name, sizeof name,
                                 nullptr, 0, NI_NAMEREQD);
  if (code != 0) {
    throw ResolverError(code, context);
  }
  return name;
}

}  // namespace Platform
