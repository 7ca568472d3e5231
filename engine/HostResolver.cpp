#include "engine/HostResolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

std::optional<std::uint32_t> resolveFirstIPv4Address(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &results) != 0 || results == nullptr) {
    return std::nullopt;
  }
  std::optional<std::uint32_t> address;
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      sockaddr_in ipv4{};
      std::memcpy(&ipv4, entry->ai_addr, sizeof ipv4);
      address = ipv4.sin_addr.s_addr;
      break;
    }
  }
  freeaddrinfo(results);
  return address;
}
