#include "proxy/TServerConnector.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

#include "platform/ESocketError.h"
#include "platform/TTlsConnection.h"
#include "proxy/ProxyTexts.h"

namespace {

using Clock = std::chrono::steady_clock;

// A server's line quoted inside our own "-ERR" line: short, and without bytes that a mail
// program could take for a line end or a control.
std::string Quoted(const std::string& line) {
  constexpr std::size_t kShown = 120;
  std::string shown;
  for (const char c : line.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    shown.push_back(byte < 0x20 || byte == 0x7f ? '?' : c);
  }
  return "\"" + shown + (line.size() > kShown ? "...\"" : "\"");
}

std::chrono::milliseconds Remaining(Clock::time_point deadline) {
  return std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
}

// One line of the plain-text dialogue before STLS, or the reason there is none.
std::string ReadReply(TTcpConnection& tcp, Clock::time_point deadline, const std::string& context,
                      const char* what) {
  const TReadResult reply = tcp.ReadLine(Remaining(deadline));
  switch (reply.Status) {
    case TReadStatus::Line:
      return reply.Text;
    case TReadStatus::Split:
      throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context, std::string("the server's ") + what +
                                                                         " is longer than any POP3 line");
    case TReadStatus::Unterminated:
    case TReadStatus::Closed:
      throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context,
                         std::string("the server closed the connection before its ") + what);
    case TReadStatus::Reset:
      throw ESocketError(TSocketErrorKind::Reset, ECONNRESET, context,
                         std::string("the server reset the connection before its ") + what);
    case TReadStatus::TimedOut:
      throw ESocketError(TSocketErrorKind::TimedOut, ETIMEDOUT, context,
                         std::string("the server sent no ") + what + " in time");
    case TReadStatus::Stopped:
      break;
  }
  throw ESocketError(TSocketErrorKind::Stopped, 0, context, "stop requested");
}

std::unique_ptr<IConnection> ConnectWithStls(const TAccount& account, std::uint16_t port, const TStopSignal& stop,
                                             const TServerConnectorOptions& options) {
  const auto deadline = Clock::now() + options.ConnectTimeout;
  const std::string context = "cannot start TLS with '" + account.RemoteHostname + "' port " + std::to_string(port);
  auto tcp = TTcpConnection::Connect(account.RemoteHostname, port, options.ConnectTimeout, &stop);
  tcp->SetStopSignal(&stop);
  const std::string greeting = ReadReply(*tcp, deadline, context, "greeting");
  if (!greeting.starts_with("+OK")) {
    throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context, "the server's greeting was " + Quoted(greeting));
  }
  tcp->WriteLine("STLS");
  const std::string answer = ReadReply(*tcp, deadline, context, "answer to STLS");
  if (!answer.starts_with("+OK")) {
    throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context,
                       "the server does not start TLS (it answered STLS with " + Quoted(answer) + ")");
  }
  auto tls = TTlsConnection::StartTls(std::move(tcp), account.RemoteHostname, Remaining(deadline), &stop,
                                      {account.TLSCAFile});
  tls->ReplayInput(greeting + "\r\n");
  return tls;
}

}  // namespace

TServerConnector AccountServerConnector(TServerConnectorOptions options) {
  return [options = std::move(options)](const TAccount& account, const TStopSignal& stop) -> std::unique_ptr<IConnection> {
    if (account.RemotePort <= 0 || account.RemotePort > std::numeric_limits<std::uint16_t>::max()) {
      throw ESocketError(TSocketErrorKind::Other, 0, "cannot connect to '" + account.RemoteHostname + "'",
                         "the account's port " + std::to_string(account.RemotePort) + " is not a TCP port");
    }
    const auto port = static_cast<std::uint16_t>(account.RemotePort);
    switch (account.TLSMode) {
      case TAccount::TLSModeImplicit:
        return TTlsConnection::Connect(account.RemoteHostname, port, options.ConnectTimeout, &stop,
                                       {account.TLSCAFile});
      case TAccount::TLSModeSTLS:
        return ConnectWithStls(account, port, stop, options);
      case TAccount::TLSModeNone: {
        auto tcp = TTcpConnection::Connect(account.RemoteHostname, port, options.ConnectTimeout, &stop);
        if (options.OutputStatus) {
          options.OutputStatus(1, ProxyTexts::Format(rsPOPWarningNoTls, {account.RemoteHostname}));
        }
        return tcp;
      }
      default:
        // An unknown mode may be a newer program's setting: never taken for plain text.
        throw ESocketError(TSocketErrorKind::TlsSetup, 0, "cannot connect to '" + account.RemoteHostname + "'",
                           "the account's TLS mode " + std::to_string(account.TLSMode) +
                               " is none of 0 (none), 1 (STLS) and 2 (implicit TLS)");
    }
  };
}
