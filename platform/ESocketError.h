#pragma once

#include <string>

#include "common/EQuorixException.h"

// What went wrong on a socket, in the words the callers act on: a session ends quietly on
// Closed and Reset, the listener explains AddressInUse and AccessDenied differently, and a
// failed connect tells the user whether the server refused, could not be reached, did not
// answer or has no such name.
enum class TSocketErrorKind {
  Closed,           // the connection is closed (by the peer or by us) and cannot be used
  Reset,            // the peer reset the connection
  TimedOut,         // no answer in time (connect, write)
  Refused,          // nothing listens on that port
  Unreachable,      // no route to the network or host
  NameNotFound,     // the resolver knows no address for the name (or no name for the address)
  ResolverFailure,  // the resolver itself failed (no DNS server, temporary failure)
  AddressInUse,     // another socket is bound to the address and port
  AccessDenied,     // the port needs privileges (below 1024 without CAP_NET_BIND_SERVICE)
  Stopped,          // the caller's stop signal was raised while waiting
  TlsHandshake,        // the TLS handshake failed, or the server would not start TLS
  CertificateRejected, // the server's certificate did not pass verification
  TlsSetup,            // our own TLS settings cannot be used (the account's CA file)
  Other,
};

// what() reads "<what was attempted>: <reason>", for example
// "cannot connect to 'pop.example.com' port 110: Connection refused"; Reason() is the
// second part alone, short enough for a "-ERR" line, and ErrorNumber() the errno (0 when
// the failure has none, as for resolver errors and time-outs of our own).
class ESocketError : public EQuorixException {
 public:
  ESocketError(TSocketErrorKind kind, int errorNumber, const std::string& context, std::string reason)
      : EQuorixException(context + ": " + reason), kind_(kind), errorNumber_(errorNumber), reason_(std::move(reason)) {}

  [[nodiscard]] TSocketErrorKind Kind() const noexcept { return kind_; }
  [[nodiscard]] int ErrorNumber() const noexcept { return errorNumber_; }
  [[nodiscard]] const std::string& Reason() const noexcept { return reason_; }
  // Closed, Reset and Stopped: how a session's connections ordinarily end (a peer that hung
  // up, or our own stop), which ends a session quietly.
  [[nodiscard]] bool IsOrdinaryEnd() const noexcept {
    return kind_ == TSocketErrorKind::Closed || kind_ == TSocketErrorKind::Reset ||
           kind_ == TSocketErrorKind::Stopped;
  }

  // The kind that errno `errorNumber` stands for (ECONNREFUSED → Refused, and so on).
  [[nodiscard]] static TSocketErrorKind KindOfErrno(int errorNumber) noexcept;
  // An error for errno `errorNumber`, its reason the system's text for it.
  [[nodiscard]] static ESocketError FromErrno(int errorNumber, const std::string& context);

 private:
  TSocketErrorKind kind_;
  int errorNumber_;
  std::string reason_;
};
