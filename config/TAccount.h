#pragma once

#include <string>

#include "config/TStoreableObject.h"

// One mail account: where its real POP3 server is, how the connection to it is encrypted,
// and which security profile applies to its mail unless an address override says otherwise.
class TAccount : public TStoreableObject {
 public:
  TAccount() = default;
  TAccount(std::string remoteHostname, int remotePort, std::string defaultSecurityProfile);

  [[nodiscard]] std::string ClassName() const override { return "TAccount"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;

  // The values of TLSMode.
  static constexpr int TLSModeNone = 0;      // plain POP3: the password crosses the network in clear
  static constexpr int TLSModeSTLS = 1;      // plain connect, then STLS; a server that refuses is left
  static constexpr int TLSModeImplicit = 2;  // TLS from the first byte (POP3S, port 995)

  // The mode for a server on `port` when none was chosen: implicit TLS on POP3S's port,
  // STLS on every other.
  [[nodiscard]] static int DefaultTLSModeFor(int port) noexcept { return port == 995 ? TLSModeImplicit : TLSModeSTLS; }
  // "none", "stls", "implicit", or the number itself for a value outside them.
  [[nodiscard]] static std::string TLSModeName(int mode);

  // Published: RemoteHostname (string), RemotePort (integer), DefaultSecurityProfile (string),
  // TLSMode (integer), TLSCAFile (string).
  std::string RemoteHostname;
  int RemotePort = 110;
  std::string DefaultSecurityProfile;
  int TLSMode = DefaultTLSModeFor(110);
  // A file of PEM certificates that alone are trusted for this server; "" trusts the
  // system's roots.
  std::string TLSCAFile;

  // As the base class; settings written before TLSMode existed have no value for it, and
  // then the mode is the default for the stored port.
  bool LoadFromRegistry(TExtRegistry& registry, const std::string& key) override;

  // "HostName   : <host>\r\nRemotePort : <port>\r\nSecProfile : <profile>\r\n"
  [[nodiscard]] std::string toString() const;

 private:
  [[nodiscard]] int GetTLSMode() const { return TLSMode; }
  void SetTLSMode(int mode) {
    TLSMode = mode;
    tlsModeRead_ = true;
  }

  bool tlsModeRead_ = false;  // set by the setter, so a load can tell "absent" from 0
};
