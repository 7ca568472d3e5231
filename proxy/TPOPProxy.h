#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "config/TAccount.h"
#include "config/TConfigRef.h"
#include "platform/IConnection.h"
#include "platform/TStopSignal.h"
#include "proxy/IProxySession.h"
#include "proxy/TBufferedWriteConnection.h"
#include "proxy/TPOPProxyEnvironment.h"

class TResponseThread;

// One proxied POP3 conversation: the mail client's connection, accepted by the listener,
// and the connection to the real server of the account the client dialled. The command
// loop reads the client and writes the server on the listener's thread; a TResponseThread
// reads the server and writes the client beside it.
//
// Only loopback addresses that the hosts file gives accounts ("127.84.3.N") are served: a
// client that reached us another way is told so and dropped before any server is dialled.
class TPOPProxy final : public IProxySession {
 public:
  // The only way a session sees the program: `stop` is the listener's (it outlives the
  // session), `config` is kept for the whole session, `environment`'s empty members take
  // their defaults (see TPOPProxyEnvironment).
  TPOPProxy(std::unique_ptr<IConnection> client, const TStopSignal& stop, TConfigRef config,
            const TPOPProxyEnvironment& environment);
  // Tears down (again) when a relay thread was started, so it is joined before any member goes.
  ~TPOPProxy() override;

  // Setup, then CommandLoop and Teardown when Setup succeeded.
  void Execute() override;

  // Checks the dialled address, finds the account, connects to its server and starts the
  // relay. On failure the client has had one "-ERR" line and is disconnected, an error
  // status line says the same, and false is returned.
  bool Setup();
  // Relays client commands until the server or the client goes, the relay ends, or the
  // listener asks to stop (noticed within one 500 ms read). Never throws: unexpected errors
  // become error status lines and end the loop.
  void CommandLoop();
  // Stops the relay thread, waits for it and closes both connections.
  void Teardown();

  // "Incoming connection..." or "Connected to host[:port]", followed by the protocol and
  // cipher in brackets when the server connection is encrypted; from any thread.
  [[nodiscard]] std::string GetState() const override;

  // The dotted address the client dialled; "" without a client connection.
  [[nodiscard]] std::string GetLocalIncomingIP() const;
  // The host name that address resolves back to; "" when it has none.
  [[nodiscard]] std::string GetLocalIncomingHostname() const;
  // The account's server, "unknown" (and 0) while no account is known. From any thread.
  [[nodiscard]] std::string GetRemoteOutgoingHostname() const;
  [[nodiscard]] int GetRemoteOutgoingPort() const;

  // A status line for the user: kind 0 information, 1 warning, 2 error.
  void OutputStatusMessage(int kind, std::string_view text) const;

  // Disconnect notifications of the client and server connections, from whichever thread
  // notices: the side that goes first is the one reported, once.
  void IncomingDisconnected();
  void OutgoingDisconnected();

 private:
  void FailSetup(const std::string& text);
  void HandleCommand(const std::string& line);

  std::unique_ptr<IConnection> client_;
  // Every write to the client goes through it: the relay thread and the local answer to a
  // refused command must not interleave inside a line.
  TBufferedWriteConnection clientWriter_;
  const TStopSignal& stop_;
  TConfigRef config_;
  TPOPProxyEnvironment environment_;

  std::string command_;  // the command word of the last client line
  bool midLine_ = false;     // the last client piece was part of an over-long line
  bool dropClient_ = false;  // the command loop ended on an unexpected error

  // The account and whether the server connection exists, read by GetState and the
  // disconnect notifications from other threads.
  mutable std::mutex stateMutex_;
  const TAccount* account_ = nullptr;  // belongs to config_
  bool serverConnected_ = false;
  std::string serverSecurity_;  // the server connection's SecurityDescription()

  std::unique_ptr<IConnection> server_;

  // Taken around the check-and-set of the disconnect notifications, so one report is made.
  std::mutex disconnectMutex_;
  TStopSignal clientClosed_;   // the client is gone or the session tears down: stops the relay
  TStopSignal serverClosed_;   // the server connection closed: ends the command loop
  TStopSignal relayFinished_;  // the relay thread has stopped: ends the command loop

  // Last: destroyed first, and the destructor joins it before the rest goes.
  std::unique_ptr<TResponseThread> relay_;
};
