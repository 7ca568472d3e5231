#pragma once

#include <string>

#include "config/TStoreableObject.h"

// One mail account: where its real POP3 server is and which security profile applies to its
// mail unless an address override says otherwise.
class TAccount : public TStoreableObject {
 public:
  TAccount() = default;
  TAccount(std::string remoteHostname, int remotePort, std::string defaultSecurityProfile);

  [[nodiscard]] std::string ClassName() const override { return "TAccount"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;

  // Published: RemoteHostname (string), RemotePort (integer), DefaultSecurityProfile (string).
  std::string RemoteHostname;
  int RemotePort = 110;
  std::string DefaultSecurityProfile;

  // "HostName   : <host>\r\nRemotePort : <port>\r\nSecProfile : <profile>\r\n"
  [[nodiscard]] std::string toString() const;
};
