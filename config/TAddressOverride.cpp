#include "config/TAddressOverride.h"

#include <utility>

#include "common/AsciiCase.h"

TAddressOverride::TAddressOverride(std::string address, std::string securityProfile)
    : Address(std::move(address)), SecurityProfile(std::move(securityProfile)) {}

const TPropertyTable& TAddressOverride::PublishedProperties() const {
  static const TPropertyTable properties{
      Published("Address", &TAddressOverride::Address),
      Published("SecurityProfile", &TAddressOverride::SecurityProfile),
  };
  return properties;
}

bool TAddressOverride::IsAddress() const {
  return Address.find('@') != std::string::npos;
}

bool TAddressOverride::MatchesAddress(std::string_view senderAddress) const {
  if (IsAddress()) {
    return asciiUpperCase(Address) == asciiUpperCase(senderAddress);
  }
  const std::size_t at = senderAddress.find('@');
  if (at == std::string_view::npos) {
    return false;
  }
  return asciiUpperCase(senderAddress.substr(at + 1)) == asciiUpperCase(Address);
}
