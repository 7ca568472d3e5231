#include "config/TAccount.h"

#include <utility>

TAccount::TAccount(std::string remoteHostname, int remotePort, std::string defaultSecurityProfile)
    : RemoteHostname(std::move(remoteHostname)),
      RemotePort(remotePort),
      DefaultSecurityProfile(std::move(defaultSecurityProfile)) {}

const TPropertyTable& TAccount::PublishedProperties() const {
  static const TPropertyTable properties{
      Published("RemoteHostname", &TAccount::RemoteHostname),
      Published("RemotePort", &TAccount::RemotePort),
      Published("DefaultSecurityProfile", &TAccount::DefaultSecurityProfile),
  };
  return properties;
}

std::string TAccount::toString() const {
  return "HostName   : " + RemoteHostname + "\r\nRemotePort : " + std::to_string(RemotePort) +
         "\r\nSecProfile : " + DefaultSecurityProfile + "\r\n";
}
