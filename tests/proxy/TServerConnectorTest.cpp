#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "config/TAccount.h"
#include "config/TConfig.h"
#include "proxy/SessionHarness.h"
#include "proxy/TServerConnector.h"
#include "support/TlsTestSupport.h"

// The session's server side over real sockets: implicit TLS, STLS and plain text against an
// OpenSSL server in the test, and every way the encrypted connection must be refused before
// the client's USER and PASS could reach the server.
namespace {

using namespace std::chrono_literals;
using ProxyTest::Session;

const TTestPki& Pki() {
  static const TTestPki pki;
  return pki;
}

constexpr const char* kGreeting = "+OK POP3 ready <1896.697170952@dbc.mfa.example>";

// Answers each line "+OK" until QUIT or the client goes.
void Pop3Dialogue(TTestTlsPeer& peer) {
  std::string line;
  while (peer.ReadLine(line)) {
    if (line == "QUIT") {
      peer.SendLine("+OK bye");
      return;
    }
    peer.SendLine("+OK");
  }
}

void ImplicitServer(TTestTlsPeer& peer) {
  if (peer.StartTls()) {
    peer.SendLine(kGreeting);
    Pop3Dialogue(peer);
  }
}

// Greets in clear and answers STLS with `answer`; on "+OK" goes on encrypted.
TTestTlsServer::TScript StlsServer(std::string answer) {
  return [answer = std::move(answer)](TTestTlsPeer& peer) {
    peer.SendLine(kGreeting);
    std::string line;
    while (peer.ReadLine(line)) {
      if (line != "STLS") {
        peer.SendLine("-ERR unknown command");
        continue;
      }
      peer.SendLine(answer);
      if (answer.starts_with("+OK") && peer.StartTls()) {
        Pop3Dialogue(peer);
        return;
      }
    }
  };
}

// The account "localhost" in `mode` on the test server's port, dialled through the real
// connector with the test CA trusted.
struct TlsSession {
  TlsSession(int mode, std::uint16_t port, std::chrono::milliseconds timeout = 5s, bool trustTestCa = true)
      : session(Config(mode, port, trustTestCa)) {
    session.environment.HostNameOf = [](const std::string&) { return std::string("localhost.qx"); };
    session.environment.ConnectToServer = AccountServerConnector(
        {timeout, [this](int kind, std::string_view text) { session.status.Add(kind, text); }});
  }
  static TConfigRef Config(int mode, std::uint16_t port, bool trustTestCa) {
    TConfigRef config(new TConfig);
    auto account = std::make_unique<TAccount>("localhost", port, "Medium");
    account->TLSMode = mode;
    account->TLSCAFile = trustTestCa ? Pki().Ca() : "";
    config->Accounts.AddAccount(std::move(account));
    return config;
  }
  Session session;
};

TEST(TServerConnector, ImplicitTlsRelaysTheDialogueAndTheStateNamesTheProtocol) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), ImplicitServer);
  TlsSession tls(TAccount::TLSModeImplicit, server.Port());
  tls.session.Start();
  EXPECT_EQ(tls.session.ClientLine(), kGreeting);
  const std::string state = tls.session.Proxy().GetState();
  EXPECT_TRUE(state.starts_with("Connected to localhost:" + std::to_string(server.Port()) + " (TLSv1.3, TLS_"))
      << state;
  EXPECT_TRUE(tls.session.status.Contains(state));  // also as a status line, for the headless log
  tls.session.Client().WriteLine("USER alice");
  EXPECT_EQ(tls.session.ClientLine(), "+OK");
  tls.session.Client().WriteLine("QUIT");
  EXPECT_EQ(tls.session.ClientLine(), "+OK bye");
  EXPECT_TRUE(tls.session.WaitForEnd());
  EXPECT_EQ(server.Transcript(), "USER alice\nQUIT\n");
  for (const auto& line : tls.session.status.Lines()) {
    EXPECT_NE(line.Kind, 1) << line.Text;  // no warning about plain text
  }
}

// The client sees the greeting the server sent in clear, time stamp and all, as its first
// line, and its APOP goes out encrypted.
TEST(TServerConnector, StlsReplaysTheOriginalGreetingAndEncryptsEverythingAfterIt) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), StlsServer("+OK begin TLS negotiation"));
  TlsSession tls(TAccount::TLSModeSTLS, server.Port());
  tls.session.Start();
  EXPECT_EQ(tls.session.ClientLine(), kGreeting);
  EXPECT_NE(tls.session.Proxy().GetState().find(" (TLSv1."), std::string::npos) << tls.session.Proxy().GetState();
  tls.session.Client().WriteLine("APOP alice c4c9334bac560ecc979e58001b3e22fb");
  EXPECT_EQ(tls.session.ClientLine(), "+OK");
  tls.session.Client().WriteLine("QUIT");
  EXPECT_EQ(tls.session.ClientLine(), "+OK bye");
  EXPECT_TRUE(tls.session.WaitForEnd());
  EXPECT_EQ(server.Transcript(), "STLS\nAPOP alice c4c9334bac560ecc979e58001b3e22fb\nQUIT\n");
}

TEST(TServerConnector, PlainTextWorksAsBeforeWithOneWarning) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    peer.SendLine(kGreeting);
    Pop3Dialogue(peer);
  });
  TlsSession tls(TAccount::TLSModeNone, server.Port());
  tls.session.Start();
  EXPECT_EQ(tls.session.ClientLine(), kGreeting);
  EXPECT_EQ(tls.session.Proxy().GetState(), "Connected to localhost:" + std::to_string(server.Port()));
  tls.session.Client().WriteLine("QUIT");
  EXPECT_EQ(tls.session.ClientLine(), "+OK bye");
  EXPECT_TRUE(tls.session.WaitForEnd());
  int warnings = 0;
  for (const auto& line : tls.session.status.Lines()) {
    if (line.Kind == 1) {
      ++warnings;
      EXPECT_EQ(line.Text, "The password for 'localhost' goes to the server unencrypted: the account uses no TLS");
    }
  }
  EXPECT_EQ(warnings, 1);
}

struct TRefusalCase {
  const char* Name;
  int Mode;
  const char* Certificate;
  TTestTlsServer::TScript Script;
  const char* Reason;  // after "Can't make outgoing connection to 'localhost': "
  bool TrustTestCa = true;
};

// Each refusal ends the session in setup: the client gets the reason as "-ERR", the window
// the same as an error status line, and its USER and PASS, sent ahead, never leave.
TEST(TServerConnector, EveryRefusedServerEndsTheSessionBeforeTheClientsPassword) {
  const auto acceptThenListen = [](TTestTlsPeer& peer) {
    if (peer.StartTls()) {
      Pop3Dialogue(peer);
    }
  };
  const std::vector<TRefusalCase> cases{
      {"expired", TAccount::TLSModeImplicit, "expired", acceptThenListen, "certificate has expired"},
      {"wrong host", TAccount::TLSModeImplicit, "wronghost", acceptThenListen, "hostname mismatch"},
      {"self-signed", TAccount::TLSModeImplicit, "selfsigned", acceptThenListen, "self-signed certificate"},
      {"unknown CA", TAccount::TLSModeImplicit, "unknownca", acceptThenListen, "unable to get local issuer certificate"},
      {"not trusted by the system", TAccount::TLSModeImplicit, "good", acceptThenListen,
       "unable to get local issuer certificate", false},
      {"expired after STLS", TAccount::TLSModeSTLS, "expired", StlsServer("+OK go ahead"), "certificate has expired"},
      {"handshake cut off", TAccount::TLSModeImplicit, "good", [](TTestTlsPeer& peer) { peer.DrainAndClose(); },
       "the server closed the connection during the TLS handshake"},
      {"handshake stalls", TAccount::TLSModeImplicit, "good", [](TTestTlsPeer& peer) { peer.Stall(); },
       "the server did not complete the TLS handshake in time"},
      {"no STLS", TAccount::TLSModeSTLS, "good", StlsServer("-ERR unknown command"),
       "the server does not start TLS (it answered STLS with \"-ERR unknown command\")"},
      {"STLS refused", TAccount::TLSModeSTLS, "good", StlsServer("-ERR TLS is not\ravailable now"),
       "the server does not start TLS (it answered STLS with \"-ERR TLS is not?available now\")"},
      {"plain server on the TLS port", TAccount::TLSModeImplicit, "good",
       [](TTestTlsPeer& peer) {
         peer.SendLine(kGreeting);
         Pop3Dialogue(peer);
       },
       "TLS handshake failed: "},
  };
  for (const TRefusalCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTestTlsServer server(Pki().Pem(c.Certificate), Pki().Key(c.Certificate), c.Script);
    // Only the stall waits out its time-out; the others must not depend on a fast machine.
    const bool stalls = std::string(c.Name) == "handshake stalls";
    TlsSession tls(c.Mode, server.Port(), stalls ? 500ms : 5s, c.TrustTestCa);
    tls.session.Client().Write("USER alice\r\nPASS secret\r\n");
    tls.session.Start();
    const std::string text = "Can't make outgoing connection to 'localhost': " + std::string(c.Reason);
    const std::string answer = tls.session.ClientBytesUntilClosed();
    EXPECT_TRUE(answer.starts_with("-ERR " + text)) << answer;
    EXPECT_TRUE(answer.ends_with("\r\n") && answer.find('\n') == answer.size() - 1) << answer;
    EXPECT_TRUE(tls.session.WaitForEnd());
    bool reported = false;
    for (const auto& line : tls.session.status.Lines()) {
      reported = reported || (line.Kind == 2 && line.Text == answer.substr(5, answer.size() - 7));
    }
    EXPECT_TRUE(reported);
    const std::string transcript = server.Transcript();
    EXPECT_EQ(transcript.find("USER"), std::string::npos) << transcript;
    EXPECT_EQ(transcript.find("PASS"), std::string::npos) << transcript;
  }
}

TEST(TServerConnector, AnUnknownTlsModeIsRefusedNotTakenForPlainText) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) { peer.Stall(); });
  TlsSession tls(7, server.Port());
  EXPECT_FALSE(tls.session.Proxy().Setup());
  EXPECT_EQ(tls.session.ClientBytesUntilClosed(),
            "-ERR Can't make outgoing connection to 'localhost': the account's TLS mode 7 is none of 0 (none), 1 "
            "(STLS) and 2 (implicit TLS)\r\n");
}

}  // namespace
