#pragma once
#include <functional>
#include <memory>
#include <string>

#include "config/TConfigRef.h"
#include "platform/IConnection.h"
#include "platform/TStopSignal.h"

// The work of one accepted connection as the listener runs it: Execute() on the
// connection's own thread until the session is over, GetState() from any other thread at
// any time (the status line reads it while the session runs).
class IProxySession {
 public:
  virtual ~IProxySession() = default;
  IProxySession() = default;
  IProxySession(const IProxySession&) = delete;
  IProxySession& operator=(const IProxySession&) = delete;

  virtual void Execute() = 0;
  [[nodiscard]] virtual std::string GetState() const = 0;
};

// Makes the session of one accepted connection. `stop` is the listener's stop request
// (raised by WaitForThreads); it outlives the session, and the session must notice it
// within one read time-out. `config` is the configuration current when the connection was
// accepted; the session keeps it for its whole life.
using TProxySessionFactory = std::function<std::unique_ptr<IProxySession>(
    std::unique_ptr<IConnection> client, const TStopSignal& stop, TConfigRef config)>;
