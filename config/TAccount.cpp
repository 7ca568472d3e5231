#include "config/TAccount.h"

#include <utility>

TAccount::TAccount(std::string remoteHostname, int remotePort, std::string defaultSecurityProfile)
    : RemoteHostname(std::move(remoteHostname)),
      RemotePort(remotePort),
      DefaultSecurityProfile(std::move(defaultSecurityProfile)),
      TLSMode(DefaultTLSModeFor(remotePort)) {}

const TPropertyTable& TAccount::PublishedProperties() const {
  static const TPropertyTable properties{
      Published("RemoteHostname", &TAccount::RemoteHostname),
      Published("RemotePort", &TAccount::RemotePort),
      Published("DefaultSecurityProfile", &TAccount::DefaultSecurityProfile),
      Published("TLSMode", &TAccount::GetTLSMode, &TAccount::SetTLSMode),
      Published("TLSCAFile", &TAccount::TLSCAFile),
  };
  return properties;
}

std::string TAccount::toString() const {
  return "HostName   : " + RemoteHostname + "\r\nRemotePort : " + std::to_string(RemotePort) +
         "\r\nSecProfile : " + DefaultSecurityProfile + "\r\n";
}

bool TAccount::LoadFromRegistry(TExtRegistry& registry, const std::string& key) {
  tlsModeRead_ = false;
  const bool found = TStoreableObject::LoadFromRegistry(registry, key);
  if (!tlsModeRead_) {
    TLSMode = DefaultTLSModeFor(RemotePort);
  }
  return found;
}

std::string TAccount::TLSModeName(int mode) {
  switch (mode) {
    case TLSModeNone:
      return "none";
    case TLSModeSTLS:
      return "stls";
    case TLSModeImplicit:
      return "implicit";
    default:
      return std::to_string(mode);
  }
}
