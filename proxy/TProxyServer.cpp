#include "proxy/TProxyServer.h"

#include <cxxabi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <map>
#include <system_error>
#include <typeinfo>
#include <utility>

#include "platform/ESocketError.h"
#include "platform/Paths.h"
#include "platform/TStopSignal.h"
#include "platform/TTcpConnection.h"
#include "platform/TTcpListener.h"

namespace {

constexpr int kInformation = 0;
constexpr int kWarning = 1;
constexpr int kError = 2;

constexpr const char* kLoopback = "127.0.0.1";
// Long enough not to spin, short enough that a listener closed by the owner goes at once
// (the stop signal wakes the wait anyway).
constexpr std::chrono::milliseconds kAcceptTimeout{1000};
// After accept() itself failed (out of descriptors), before trying again.
constexpr std::chrono::milliseconds kAcceptRetryDelay{200};

std::string FormatPort(const char* format, int port) {
  std::string text = format;
  for (std::size_t at = text.find("%d"); at != std::string::npos; at = text.find("%d", at)) {
    const std::string number = std::to_string(port);
    text.replace(at, 2, number);
    at += number.size();
  }
  return text;
}

// The message box's paragraphs on one status line.
std::string OneLine(std::string text) {
  for (std::size_t at = text.find("\r\n\r\n"); at != std::string::npos; at = text.find("\r\n\r\n", at)) {
    text.replace(at, 4, " ");
  }
  return text;
}

constexpr const char* rsPortInUseTitle = "Unable to bind to port %d";
constexpr const char* rsPortInUseMessage =
    "Quorix was unable to attach to port %d because that port is already in use by another program.\r\n\r\n"
    "You can either change the port that Quorix uses, change the port that the other program uses, or quit the "
    "other program.\r\n\r\n"
    "If you want to change the port Quorix uses, open the Options and change the option on the General tab.  Note "
    "that you will need to change the account settings in your e-mail client to match.";
constexpr const char* rsPortNeedsPrivilegesMessage =
    "Quorix was not allowed to attach to port %d because ports below 1024 need privileges that it does not "
    "have.\r\n\r\n"
    "You can either choose a port from 1024 up (the option ListenPort on the General tab of the Options; note that "
    "you will need to change the account settings in your e-mail client to match), or give the program the "
    "capability to bind low ports, for example: sudo setcap cap_net_bind_service=+ep ";

std::string ExceptionClassName(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);  // NOLINT(cppcoreguidelines-no-malloc): __cxa_demangle's buffer
  return name;
}

std::string ProgramPath() {
  try {
    return Platform::ExecutablePath().string();
  } catch (const std::exception&) {
    return "/usr/bin/quorix";
  }
}

bool IsLoopbackIPv4(const std::string& text) {
  if (!text.starts_with("127.")) {
    return false;
  }
  int parts = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t dot = std::min(text.find('.', at), text.size());
    const std::string part = text.substr(at, dot - at);
    if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(part) > 255) {
      return false;
    }
    ++parts;
    at = dot + 1;
  }
  return parts == 4;
}

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string text;
  for (const std::string& address : addresses) {
    text += (text.empty() ? "" : ", ") + address;
  }
  return text;
}

}  // namespace

struct TProxyServer::TSessionEntry {
  std::unique_ptr<IProxySession> Session;  // null until the factory has made it
  std::thread Thread;
  std::shared_ptr<TStopSignal> Stop;
};

struct TProxyServer::TAcceptor {
  std::unique_ptr<TTcpListener> Listener;
  std::string Address;
  TStopSignal Stop;
  std::thread Thread;
};

TProxyServer::TProxyServer(TProxySessionFactory factory, TOutputStatusEvent status, TConfigRef config)
    : factory_(std::move(factory)),
      status_(std::move(status)),
      config_(std::move(config)),
      sessionStop_(std::make_shared<TStopSignal>()) {}

TProxyServer::~TProxyServer() { WaitForThreads(); }

void TProxyServer::Status(int kind, const std::string& text) const {
  if (status_) {
    status_(kind, text);
  }
}

TConfigRef TProxyServer::CurrentConfig() const {
  const std::lock_guard lock(configMutex_);
  return config_;
}

void TProxyServer::SetConfig(TConfigRef config) {
  {
    const std::lock_guard lock(configMutex_);
    config_ = std::move(config);
  }
  if (listenerWanted_ && (CurrentConfig()->ListenPort != boundPort_ || !allBound_)) {
    BindSocket();
  }
}

std::vector<std::string> TProxyServer::WantedAddresses() const {
  std::vector<std::string> wanted{kLoopback};
  for (const std::string& address : localAddresses_) {
    if (address != kLoopback) {
      wanted.push_back(address);
    }
  }
  return wanted;
}

void TProxyServer::SetLocalAddresses(const std::vector<std::string>& addresses) {
  std::vector<std::string> accepted;
  for (const std::string& address : addresses) {
    if (IsLoopbackIPv4(address)) {
      accepted.push_back(address);
    } else {
      Status(kWarning, "Not listening on '" + address + "': Quorix listens on loopback addresses (127.x.x.x) only");
    }
  }
  std::sort(accepted.begin(), accepted.end());
  accepted.erase(std::unique(accepted.begin(), accepted.end()), accepted.end());
  if (accepted == localAddresses_) {
    return;
  }
  localAddresses_ = std::move(accepted);
  if (listenerWanted_) {
    BindSocket();
  }
}

void TProxyServer::ReportBindFailure(const std::exception& error, std::uint16_t port,
                                     const std::string& address) const {
  const auto* socketError = dynamic_cast<const ESocketError*>(&error);
  const TSocketErrorKind kind = socketError != nullptr ? socketError->Kind() : TSocketErrorKind::Other;
  const std::string title = FormatPort(rsPortInUseTitle, port);
  if (kind == TSocketErrorKind::AddressInUse) {
    Status(kError, title + ": " + OneLine(FormatPort(rsPortInUseMessage, port)) + " (" + address + ")");
  } else if (kind == TSocketErrorKind::AccessDenied) {
    Status(kError, title + ": " + OneLine(FormatPort(rsPortNeedsPrivilegesMessage, port)) + "'" + ProgramPath() +
                       "' (" + address + ")");
  } else {
    Status(kError, title + " on " + address + ": " + error.what());
  }
}

bool TProxyServer::BindSocket() {
  StopListening();
  ReapFinishedThreads();
  listenerWanted_ = true;
  allBound_ = false;
  {
    const std::lock_guard lock(mutex_);
    if (sessionStop_->IsRequested()) {
      sessionStop_ = std::make_shared<TStopSignal>();
    }
  }
  const int port = CurrentConfig()->ListenPort;
  boundPort_ = port;
  if (port < 1 || port > 65535) {
    Status(kError, FormatPort(rsPortInUseTitle, port) + ": " + std::to_string(port) +
                       " is not a port number; choose one from 1024 to 65535 for ListenPort in the settings");
    return false;
  }

  // One failure text per cause: a port taken on every address says so once.
  std::map<TSocketErrorKind, std::pair<std::exception_ptr, std::vector<std::string>>> failures;
  std::vector<std::string> listening;
  for (const std::string& address : WantedAddresses()) {
    try {
      auto acceptor = std::make_unique<TAcceptor>();
      acceptor->Listener = std::make_unique<TTcpListener>(address, static_cast<std::uint16_t>(port));
      acceptor->Address = address;
      TAcceptor* raw = acceptor.get();
      acceptor->Thread = std::thread([this, raw] { Accept(*raw); });
      acceptors_.push_back(std::move(acceptor));
      listening.push_back(address);
    } catch (const ESocketError& error) {
      auto& failure = failures[error.Kind()];
      if (!failure.first) {
        failure.first = std::current_exception();
      }
      failure.second.push_back(address);
    } catch (const std::exception& error) {
      auto& failure = failures[TSocketErrorKind::Other];
      if (!failure.first) {
        failure.first = std::current_exception();
      }
      failure.second.push_back(address);
    }
  }
  for (const auto& [kind, failure] : failures) {
    try {
      std::rethrow_exception(failure.first);
    } catch (const std::exception& error) {
      ReportBindFailure(error, static_cast<std::uint16_t>(port), JoinAddresses(failure.second));
    }
  }
  if (!listening.empty()) {
    Status(kInformation, "Listening on port " + std::to_string(port) + " (" + JoinAddresses(listening) + ")");
  }
  allBound_ = failures.empty();
  return allBound_;
}

void TProxyServer::StopListening() {
  listenerWanted_ = false;
  allBound_ = false;
  for (const auto& acceptor : acceptors_) {
    acceptor->Stop.Request();
  }
  for (const auto& acceptor : acceptors_) {
    acceptor->Thread.join();
  }
  acceptors_.clear();
}

std::vector<TSocketAddress> TProxyServer::ListeningAddresses() const {
  std::vector<TSocketAddress> addresses;
  for (const auto& acceptor : acceptors_) {
    addresses.push_back(acceptor->Listener->Address());
  }
  return addresses;
}

void TProxyServer::Accept(TAcceptor& acceptor) {
  bool reportedAcceptFailure = false;
  while (!acceptor.Stop.IsRequested()) {
    std::unique_ptr<TTcpConnection> client;
    try {
      client = acceptor.Listener->Accept(kAcceptTimeout, &acceptor.Stop);
      reportedAcceptFailure = false;
    } catch (const std::exception& error) {
      if (!reportedAcceptFailure) {
        Status(kError, std::string("Cannot accept connections: ") + error.what());
        reportedAcceptFailure = true;
      }
      std::this_thread::sleep_for(kAcceptRetryDelay);
    }
    ReapFinishedThreads();
    if (!client) {
      continue;
    }
    // Taken now: the session keeps the configuration current when its client came.
    TConfigRef config = CurrentConfig();
    auto entry = std::make_shared<TSessionEntry>();
    const std::lock_guard lock(mutex_);
    entry->Stop = sessionStop_;
    sessions_.push_back(entry);
    // Started under the lock, so the thread cannot leave the list before its handle is in it.
    try {
      StartSession(entry, std::move(client), std::move(config));
    } catch (const std::system_error& error) {
      sessions_.remove(entry);
      Status(kError, std::string("Cannot start a thread for a mail client's connection: ") + error.what());
    }
  }
}

void TProxyServer::StartSession(const std::shared_ptr<TSessionEntry>& entry, std::unique_ptr<IConnection> client,
                                TConfigRef config) {
  entry->Thread = std::thread(
        [this, entry, connection = std::move(client), config = std::move(config)]() mutable {
          try {
            std::unique_ptr<IProxySession> session = factory_(std::move(connection), *entry->Stop, std::move(config));
            if (session) {
              IProxySession* running = session.get();
              {
                const std::lock_guard sessionLock(mutex_);
                entry->Session = std::move(session);
              }
              running->Execute();
            }
          } catch (const std::exception& error) {
            Status(kError, "An internal error has occurred while communicating with the mail client (" +
                               ExceptionClassName(error) + ": " + error.what() +
                               ").  Please contact technical support with a full description of the problem.");
          } catch (...) {
            Status(kError,
                   "An internal error has occurred while communicating with the mail client.  Please contact "
                   "technical support with a full description of the problem.");
          }
          EndSession(entry);
        });
}

void TProxyServer::EndSession(const std::shared_ptr<TSessionEntry>& entry) {
  std::unique_ptr<IProxySession> finished;
  {
    const std::lock_guard lock(mutex_);
    finished = std::move(entry->Session);
    sessions_.remove(entry);
    finished_.push_back(std::move(entry->Thread));
  }
  sessionEnded_.notify_all();
  // Outside the lock: a session's teardown may take a while, and the status line must not
  // wait for it. The thread is joined after this returns.
  finished.reset();
}

void TProxyServer::ReapFinishedThreads() {
  std::vector<std::thread> done;
  {
    const std::lock_guard lock(mutex_);
    done.swap(finished_);
  }
  for (std::thread& thread : done) {
    thread.join();
  }
}

std::size_t TProxyServer::ActiveThreadsCount() const {
  const std::lock_guard lock(mutex_);
  return sessions_.size();
}

std::string TProxyServer::GetStates() const {
  const std::lock_guard lock(mutex_);
  if (sessions_.empty()) {
    return kReady;
  }
  std::string states;
  bool first = true;
  for (const auto& entry : sessions_) {
    if (!first) {
      states += ", ";
    }
    first = false;
    if (entry->Session) {
      states += entry->Session->GetState();
    }
  }
  return states;
}

void TProxyServer::WaitForThreads() {
  StopListening();
  {
    std::unique_lock lock(mutex_);
    sessionStop_->Request();
    sessionEnded_.wait(lock, [this] { return sessions_.empty(); });
  }
  ReapFinishedThreads();
}
