#include "platform/SocketAddressText.h"

#include <arpa/inet.h>

namespace Platform {

TSocketAddress AddressOf(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return {text, ntohs(address.sin_port)};
}

bool ParseIPv4(const std::string& ipv4, std::uint16_t port, sockaddr_in& address) {
  address = sockaddr_in{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  return ::inet_pton(AF_INET, ipv4.c_str(), &address.sin_addr) == 1;
}

std::string DescribeAddress(const std::string& ipv4, std::uint16_t port) {
  return ipv4 + " port " + std::to_string(port);
}

}  // namespace Platform
