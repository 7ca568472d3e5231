#include "proxy/TPOPProxy.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

#include "common/AsciiCase.h"
#include "config/Globals.h"
#include "platform/ESocketError.h"
#include "platform/Resolver.h"
#include "platform/TTcpConnection.h"
#include "proxy/ExceptionClassName.h"
#include "proxy/NiceSocketError.h"
#include "proxy/ProxyTexts.h"
#include "proxy/TCAPAResponseHandler.h"
#include "proxy/TRETRorTOPResponseHandler.h"
#include "proxy/TResponseThread.h"

namespace {

constexpr std::chrono::milliseconds kClientReadTimeout{500};
constexpr int kStandardPOP3Port = 110;

std::string DefaultHostNameOf(const std::string& ipv4) {
  try {
    return Platform::HostNameOf(ipv4);
  } catch (const ESocketError&) {
    return {};
  }
}

std::unique_ptr<IConnection> DefaultConnectToServer(const TAccount& account, const TStopSignal& stop) {
  if (account.RemotePort <= 0 || account.RemotePort > std::numeric_limits<std::uint16_t>::max()) {
    throw ESocketError(TSocketErrorKind::Other, 0, "cannot connect to '" + account.RemoteHostname + "'",
                       "the account's port " + std::to_string(account.RemotePort) + " is not a TCP port");
  }
  return TTcpConnection::Connect(account.RemoteHostname, static_cast<std::uint16_t>(account.RemotePort),
                                 TTcpConnection::kDefaultConnectTimeout, &stop);
}

TPOPProxyEnvironment WithDefaults(TPOPProxyEnvironment environment) {
  if (!environment.HostNameOf) {
    environment.HostNameOf = DefaultHostNameOf;
  }
  if (!environment.ConnectToServer) {
    environment.ConnectToServer = DefaultConnectToServer;
  }
  if (!environment.ProcessorFactory) {
    environment.ProcessorFactory = PassThroughMessageProcessorFactory();
  }
  return environment;
}

}  // namespace

TPOPProxy::TPOPProxy(std::unique_ptr<IConnection> client, const TStopSignal& stop, TConfigRef config,
                     const TPOPProxyEnvironment& environment)
    : client_(std::move(client)),
      clientWriter_(*client_),
      stop_(stop),
      config_(std::move(config)),
      environment_(WithDefaults(environment)) {
  // Reads and writes that wait for the client give up as soon as the listener stops.
  client_->SetStopSignal(&stop_);
}

TPOPProxy::~TPOPProxy() {
  if (relay_) {
    Teardown();
  }
}

void TPOPProxy::Execute() {
  if (Setup()) {
    CommandLoop();
    Teardown();
  }
}

bool TPOPProxy::Setup() {
  const std::string address = GetLocalIncomingIP();
  if (!address.starts_with(ProxyTexts::LocalAddressPrefix)) {
    FailSetup(ProxyTexts::Format(ProxyTexts::rsPOPErrorNotLocalIP, {address}));
    return false;
  }
  const std::string hostname = GetLocalIncomingHostname();
  if (hostname.empty()) {
    FailSetup(ProxyTexts::Format(ProxyTexts::rsPOPErrorCantFindLocalHostname, {address}));
    return false;
  }
  const TAccount* account = config_->Accounts.FindAccountWithLocalHostname(hostname);
  if (account == nullptr) {
    FailSetup(ProxyTexts::Format(ProxyTexts::rsPOPErrorCantFindAccount, {hostname}));
    return false;
  }
  {
    const std::lock_guard lock(stateMutex_);
    account_ = account;
  }
  OutputStatusMessage(0, ProxyTexts::Format(ProxyTexts::rsPOPStatusIncoming,
                                            {account->RemoteHostname, std::to_string(account->RemotePort)}));
  try {
    server_ = environment_.ConnectToServer(*account, stop_);
    if (!server_) {
      throw ESocketError(TSocketErrorKind::Other, 0, "cannot connect", "no connection was made");
    }
  } catch (const std::exception& error) {
    FailSetup(ProxyTexts::Format(ProxyTexts::rsPOPErrorCantMakeOutgoingConnection,
                                 {account->RemoteHostname, NiceSocketError(error)}));
    return false;
  } catch (...) {
    FailSetup(ProxyTexts::Format(ProxyTexts::rsPOPErrorCantMakeOutgoingConnection,
                                 {account->RemoteHostname, ProxyTexts::NonStandardException}));
    return false;
  }
  server_->SetMaxLineLength(IConnection::kDefaultMaxLineLength);
  server_->SetStopSignal(&clientClosed_);
  server_->SetDisconnectHandler([this](TDisconnectReason) { OutgoingDisconnected(); });
  // Only now: a setup failure closes the client without a second status line.
  client_->SetDisconnectHandler([this](TDisconnectReason) { IncomingDisconnected(); });
  {
    const std::lock_guard lock(stateMutex_);
    serverConnected_ = true;
    serverSecurity_ = server_->SecurityDescription();
  }
  // Where the state is not on screen (headless), the log still shows how the server was
  // reached.
  if (!server_->SecurityDescription().empty()) {
    OutputStatusMessage(0, GetState());
  }
  relay_ = std::make_unique<TResponseThread>(
      clientWriter_, *server_, clientClosed_, relayFinished_,
      [this](int kind, std::string_view text) { OutputStatusMessage(kind, text); });
  relay_->Start();
  return true;
}

void TPOPProxy::FailSetup(const std::string& text) {
  OutputStatusMessage(2, text);
  try {
    clientWriter_.WriteLine("-ERR " + text);
    clientWriter_.Flush();
  } catch (const ESocketError&) {  // NOLINT(bugprone-empty-catch): a client already gone needs no answer
  }
  client_->Close();
}

void TPOPProxy::CommandLoop() {
  std::string failure;
  try {
    while (!serverClosed_.IsRequested() && !relayFinished_.IsRequested() && !clientClosed_.IsRequested() &&
           !stop_.IsRequested()) {
      const TReadResult piece = client_->ReadLine(kClientReadTimeout);
      switch (piece.Status) {
        case TReadStatus::TimedOut:
          continue;
        case TReadStatus::Line:
          if (std::exchange(midLine_, false)) {
            server_->WriteLine(piece.Text);
          } else {
            HandleCommand(piece.Text);
          }
          continue;
        case TReadStatus::Split:
          // A command line longer than any POP3 command: passed on as it came, as one line,
          // and never taken for a command of its own.
          if (!std::exchange(midLine_, true)) {
            command_ = piece.Text.substr(0, piece.Text.find(' '));
          }
          server_->Write(piece.Text);
          continue;
        case TReadStatus::Unterminated:  // the client hung up in mid-command: nothing to send
        case TReadStatus::Closed:
        case TReadStatus::Reset:
        case TReadStatus::Stopped:
          return;
      }
    }
  } catch (const ESocketError& error) {
    if (!error.IsOrdinaryEnd()) {
      failure = ProxyTexts::Format(ProxyTexts::rsInternalSocketErrorClient,
                                   {error.what(), std::to_string(error.ErrorNumber())});
    }
  } catch (const std::exception& error) {
    failure = ProxyTexts::Format(ProxyTexts::rsInternalErrorClient, {ExceptionClassName(error), error.what()});
  } catch (...) {
    failure = ProxyTexts::rsInternalUnknownErrorClient;
  }
  if (!failure.empty()) {
    OutputStatusMessage(2, failure);
    dropClient_ = true;
  }
}

void TPOPProxy::HandleCommand(const std::string& line) {
  command_ = line.substr(0, line.find(' '));
  const std::string word = asciiUpperCase(command_);
  if (std::ranges::find(FilteredCommands, word) != FilteredCommands.end()) {
    clientWriter_.WriteLine("-ERR " + word + std::string(ProxyTexts::CommandBlockedSuffix));
    clientWriter_.Flush();
    return;
  }
  // Installed before the command goes out, so the reply can never arrive ahead of it.
  if (word == "CAPA") {
    relay_->SetResponseHandler(std::make_unique<TCAPAResponseHandler>(clientWriter_));
  } else if (word == "RETR" || word == "TOP") {
    relay_->SetResponseHandler(std::make_unique<TRETRorTOPResponseHandler>(
        clientWriter_, [this](int kind, std::string_view text) { OutputStatusMessage(kind, text); }, config_,
        *account_, environment_.MessageLogs, environment_.ProcessorFactory));
  }
  server_->WriteLine(line);
}

void TPOPProxy::Teardown() {
  {
    const std::lock_guard lock(disconnectMutex_);
    clientClosed_.Request();
  }
  // After a failure the client is dropped first: the relay may be waiting to write to it.
  if (dropClient_) {
    client_->Close();
  }
  if (relay_) {
    relay_->Join();
  }
  if (client_->IsConnected()) {
    client_->Close();
  }
  if (server_ && server_->IsConnected()) {
    server_->Close();
  }
}

std::string TPOPProxy::GetState() const {
  const std::lock_guard lock(stateMutex_);
  if (account_ == nullptr) {
    return std::string(ProxyTexts::rsStatusIncomingConnection);
  }
  std::string where = account_->RemoteHostname;
  if (account_->RemotePort != kStandardPOP3Port) {
    where += ":" + std::to_string(account_->RemotePort);
  }
  std::string state = ProxyTexts::Format(
      serverConnected_ ? ProxyTexts::rsStatusConnectedTo : ProxyTexts::rsStatusConnectingTo, {where});
  if (serverConnected_ && !serverSecurity_.empty()) {
    state += " (" + serverSecurity_ + ")";
  }
  return state;
}

std::string TPOPProxy::GetLocalIncomingIP() const { return client_ ? client_->LocalAddress().Ip : std::string(); }

std::string TPOPProxy::GetLocalIncomingHostname() const { return environment_.HostNameOf(GetLocalIncomingIP()); }

std::string TPOPProxy::GetRemoteOutgoingHostname() const {
  const std::lock_guard lock(stateMutex_);
  return account_ != nullptr ? account_->RemoteHostname : std::string(ProxyTexts::UnknownRemoteHostname);
}

int TPOPProxy::GetRemoteOutgoingPort() const {
  const std::lock_guard lock(stateMutex_);
  return account_ != nullptr ? account_->RemotePort : 0;
}

void TPOPProxy::OutputStatusMessage(int kind, std::string_view text) const {
  if (environment_.OutputStatus) {
    environment_.OutputStatus(kind, text);
  }
}

void TPOPProxy::IncomingDisconnected() {
  bool report = false;
  {
    const std::lock_guard lock(disconnectMutex_);
    report = !serverClosed_.IsRequested();
    clientClosed_.Request();
  }
  if (report) {
    OutputStatusMessage(0, ProxyTexts::Format(ProxyTexts::rsPOPStatusIncomingDisconnected,
                                              {GetRemoteOutgoingHostname()}));
  }
}

void TPOPProxy::OutgoingDisconnected() {
  bool report = false;
  {
    const std::lock_guard lock(disconnectMutex_);
    report = !clientClosed_.IsRequested();
    serverClosed_.Request();
  }
  if (report) {
    OutputStatusMessage(0, ProxyTexts::Format(ProxyTexts::rsPOPStatusOutgoingDisconnected,
                                              {GetRemoteOutgoingHostname()}));
  }
}
