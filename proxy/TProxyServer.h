#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/TConfigRef.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "platform/IConnection.h"
#include "proxy/IProxySession.h"

class TStopSignal;
class TTcpListener;

// The listener: accepts mail-client connections on ListenPort and runs each in a thread of
// its own with a session made by the factory.
//
// It listens on loopback only, on 127.0.0.1 and on each address given to
// SetLocalAddresses (the accounts' addresses from the hosts file), never on an external
// interface: a mail client reaches its account through the address it dialled, so nothing
// outside this machine has any business on the port.
//
// Threads: the owner (the program's main thread) calls every member; the acceptors and the
// sessions run on threads of their own and report through the status callback, which must
// therefore be safe to call from any thread. Session threads live in a locked list whose
// entries carry the session; a finished session leaves the list, and its thread is joined
// by the next accept, bind or wait, so a long run does not pile up threads.
class TProxyServer {
 public:
  TProxyServer(TProxySessionFactory factory, TOutputStatusEvent status, TConfigRef config);
  // Stops listening, then waits for every session (WaitForThreads).
  ~TProxyServer();
  TProxyServer(const TProxyServer&) = delete;
  TProxyServer& operator=(const TProxyServer&) = delete;

  // The loopback addresses to listen on besides 127.0.0.1. Rebinds at once when the set
  // differs from the one given before (and the listener is up); anything that is not a
  // dotted 127.x.x.x address is left out with a warning.
  void SetLocalAddresses(const std::vector<std::string>& addresses);

  // New connections get `config`; running sessions keep theirs. Rebinds when ListenPort
  // differs from the port bound, or when some address had failed to bind (the user may have
  // freed the port meanwhile); otherwise the listeners stay as they are.
  void SetConfig(TConfigRef config);
  [[nodiscard]] TConfigRef CurrentConfig() const;

  // (Re)opens the listeners on ListenPort. A port in use, a port that needs privileges and
  // any other failure become one error status line each, naming the port and what to do;
  // the program runs on with whatever could be bound. True when every address is listening.
  bool BindSocket();
  // Closes the listeners; running sessions go on.
  void StopListening();

  // The addresses listening now, with their ports.
  [[nodiscard]] std::vector<TSocketAddress> ListeningAddresses() const;

  [[nodiscard]] std::size_t ActiveThreadsCount() const;
  // "Ready" while no session runs, else every session's state, in the order they were
  // accepted, joined with ", ".
  [[nodiscard]] std::string GetStates() const;

  // Stops listening, raises the stop signal of every running session and returns when all
  // of them have ended and their threads are joined. BindSocket may listen again afterwards;
  // new sessions get a fresh stop signal.
  void WaitForThreads();

  static constexpr const char* kReady = "Ready";

 private:
  struct TSessionEntry;
  struct TAcceptor;

  void Accept(TAcceptor& acceptor);
  void StartSession(const std::shared_ptr<TSessionEntry>& entry, std::unique_ptr<IConnection> client,
                    TConfigRef config);
  void EndSession(const std::shared_ptr<TSessionEntry>& entry);
  void ReapFinishedThreads();
  void Status(int kind, const std::string& text) const;
  void ReportBindFailure(const std::exception& error, std::uint16_t port, const std::string& address) const;
  [[nodiscard]] std::vector<std::string> WantedAddresses() const;

  const TProxySessionFactory factory_;
  const TOutputStatusEvent status_;

  // Owner thread only.
  std::vector<std::unique_ptr<TAcceptor>> acceptors_;
  std::vector<std::string> localAddresses_;
  bool listenerWanted_ = false;   // BindSocket ran and StopListening has not
  bool allBound_ = false;         // every wanted address is listening
  int boundPort_ = -1;            // ListenPort of the last BindSocket

  mutable std::mutex configMutex_;
  TConfigRef config_;

  // The thread list and everything below it.
  mutable std::mutex mutex_;
  std::condition_variable sessionEnded_;
  std::list<std::shared_ptr<TSessionEntry>> sessions_;
  std::vector<std::thread> finished_;
  std::shared_ptr<TStopSignal> sessionStop_;
};
