#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/ESocketError.h"
#include "platform/TStopSignal.h"
#include "platform/TTcpConnection.h"
#include "platform/TTlsConnection.h"
#include "support/CaughtSocketError.h"
#include "support/ChildProcess.h"
#include "support/TlsTestSupport.h"

// The TLS client against a real OpenSSL server with scratch certificates.
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const TTestPki& Pki() {
  static const TTestPki pki;
  return pki;
}

// Handshakes, then echoes each line back until the client closes.
void EchoScript(TTestTlsPeer& peer) {
  if (!peer.StartTls()) {
    return;
  }
  std::string line;
  while (peer.ReadLine(line)) {
    peer.SendLine("echo " + line);
  }
}

TTlsClientOptions TrustingTestCa() { return {Pki().Ca()}; }

TEST(Tls, ConnectsVerifiesAndRelaysLinesBothWays) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), EchoScript);
  const auto client = TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, TrustingTestCa());
  EXPECT_TRUE(client->IsConnected());
  EXPECT_TRUE(client->SecurityDescription().starts_with("TLSv1.3, TLS_")) << client->SecurityDescription();
  EXPECT_EQ(client->PeerAddress(), (TSocketAddress{"127.0.0.1", server.Port()}));
  client->WriteLine("CAPA");
  client->WriteLine("USER a\rb");  // a lone CR is text, as on the plain connection
  TReadResult read = client->ReadLine(5s);
  EXPECT_EQ(read.Status, TReadStatus::Line);
  EXPECT_EQ(read.Text, "echo CAPA");
  read = client->ReadLine(5s);
  EXPECT_EQ(read.Text, "echo USER a\rb");
  client->Close();
  EXPECT_FALSE(client->IsConnected());
  EXPECT_EQ(client->ReadLine(1s).Status, TReadStatus::Closed);
  EXPECT_THROW(client->Write("x"), ESocketError);
  EXPECT_EQ(server.Transcript(), "CAPA\nUSER a\rb\n");
}

TEST(Tls, AnAddressIsCheckedAgainstTheCertificatesAddresses) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), EchoScript);
  const auto client = TTlsConnection::Connect("127.0.0.1", server.Port(), 5s, nullptr, TrustingTestCa());
  EXPECT_TRUE(client->IsConnected());
}

// The server's bytes come out in the same pieces as on a plain connection: an over-long
// line split at the maximum, the last bytes before a close without a line end, then Closed.
TEST(Tls, LongLinesAndTheEndOfInputComeOutAsOnAPlainConnection) {
  const std::string longLine(300000, 'x');
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [&](TTestTlsPeer& peer) {
    if (peer.StartTls()) {
      peer.Send(longLine + "\r\nlast words");
    }
  });
  bool disconnected = false;
  const auto client = TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, TrustingTestCa());
  client->SetDisconnectHandler([&](TDisconnectReason reason) { disconnected = reason == TDisconnectReason::PeerClosed; });
  std::vector<TReadResult> pieces;
  for (TReadResult read = client->ReadLine(5s); read.HasText(); read = client->ReadLine(5s)) {
    pieces.push_back(read);
  }
  ASSERT_EQ(pieces.size(), 3U);
  EXPECT_EQ(pieces[0].Status, TReadStatus::Split);
  EXPECT_EQ(pieces[0].Text.size(), IConnection::kDefaultMaxLineLength);
  EXPECT_EQ(pieces[1].Status, TReadStatus::Line);
  EXPECT_EQ(pieces[0].Text + pieces[1].Text, longLine);
  EXPECT_EQ(pieces[2].Status, TReadStatus::Unterminated);
  EXPECT_EQ(pieces[2].Text, "last words");
  EXPECT_EQ(client->ReadLine(1s).Status, TReadStatus::Closed);
  EXPECT_TRUE(disconnected);
}

TEST(Tls, AReadWaitsItsTimeOutAndCloseFromAnotherThreadEndsIt) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), EchoScript);
  const auto client = TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, TrustingTestCa());
  EXPECT_EQ(client->ReadLine(100ms).Status, TReadStatus::TimedOut);
  std::thread closer([&] {
    std::this_thread::sleep_for(100ms);
    client->Close();
  });
  const auto start = Clock::now();
  EXPECT_EQ(client->ReadLine(20s).Status, TReadStatus::Closed);
  EXPECT_LT(Clock::now() - start, 5s);
  closer.join();
}

// A write to a server that has gone fails with an error; it must not raise SIGPIPE, whose
// default action would end the whole program (run in a child that keeps that default).
TEST(Tls, WritingToAServerThatHasGoneThrowsInsteadOfRaisingSigpipe) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    if (peer.StartTls()) {
      peer.DrainAndClose();
    }
  });
  const auto client = TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, TrustingTestCa());
  (void)server.Transcript();  // the server has closed
  const std::string outcome = RunInChild([&] {
    ::signal(SIGPIPE, SIG_DFL);
    for (int i = 0; i < 100; ++i) {
      try {
        client->Write(std::string(4096, 'x'));
      } catch (const ESocketError& error) {
        return std::string("threw ") + error.Reason();
      }
      std::this_thread::sleep_for(10ms);
    }
    return std::string("every write went out");
  });
  EXPECT_TRUE(outcome.starts_with("threw ")) << outcome;
}

struct TRefusal {
  const char* Certificate;
  const char* Host;
  bool TrustTestCa;
  const char* Reason;
};

TEST(Tls, CertificatesThatFailVerificationAreRefusedWithTheVerifiersReason) {
  const std::vector<TRefusal> cases{
      {"expired", "localhost", true, "certificate has expired"},
      {"wronghost", "localhost", true, "hostname mismatch"},
      {"wronghost", "127.0.0.1", true, "IP address mismatch"},
      {"selfsigned", "localhost", true, "self-signed certificate"},
      {"unknownca", "localhost", true, "unable to get local issuer certificate"},
      // Without the account's CA file only the system's roots count.
      {"good", "localhost", false, "unable to get local issuer certificate"},
  };
  for (const TRefusal& c : cases) {
    SCOPED_TRACE(std::string(c.Certificate) + " at " + c.Host);
    bool handshakeDone = true;
    TTestTlsServer server(Pki().Pem(c.Certificate), Pki().Key(c.Certificate), [&](TTestTlsPeer& peer) {
      handshakeDone = peer.StartTls();
    });
    const ESocketError error = CaughtError([&] {
      (void)TTlsConnection::Connect(c.Host, server.Port(), 5s, nullptr,
                                    c.TrustTestCa ? TrustingTestCa() : TTlsClientOptions{});
    });
    EXPECT_EQ(error.Kind(), TSocketErrorKind::CertificateRejected);
    EXPECT_EQ(error.Reason(), c.Reason);
    EXPECT_NE(std::string(error.what()).find(c.Host), std::string::npos) << error.what();
    (void)server.Transcript();
    EXPECT_FALSE(handshakeDone);
  }
}

TEST(Tls, AServerThatClosesOrStallsInTheHandshakeEndsItWithinTheTimeOut) {
  {
    TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) { peer.DrainAndClose(); });
    const ESocketError error =
        CaughtError([&] { (void)TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, TrustingTestCa()); });
    EXPECT_EQ(error.Kind(), TSocketErrorKind::TlsHandshake);
    EXPECT_EQ(error.Reason(), "the server closed the connection during the TLS handshake");
  }
  {
    TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) { peer.Stall(); });
    const auto start = Clock::now();
    const ESocketError error = CaughtError(
        [&] { (void)TTlsConnection::Connect("localhost", server.Port(), 300ms, nullptr, TrustingTestCa()); });
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(error.Kind(), TSocketErrorKind::TimedOut);
    EXPECT_EQ(error.Reason(), "the server did not complete the TLS handshake in time");
  }
  {
    TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) { peer.Stall(); });
    TStopSignal stop;
    std::thread stopper([&] {
      std::this_thread::sleep_for(100ms);
      stop.Request();
    });
    const ESocketError error =
        CaughtError([&] { (void)TTlsConnection::Connect("localhost", server.Port(), 20s, &stop, TrustingTestCa()); });
    stopper.join();
    EXPECT_EQ(error.Kind(), TSocketErrorKind::Stopped);
  }
}

TEST(Tls, AServerThatSpeaksNoTlsFailsTheHandshake) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    peer.SendLine("+OK POP3 server ready, but in clear");
    std::string line;
    (void)peer.ReadLine(line);
  });
  const ESocketError error =
      CaughtError([&] { (void)TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, TrustingTestCa()); });
  EXPECT_EQ(error.Kind(), TSocketErrorKind::TlsHandshake);
  EXPECT_TRUE(error.Reason().starts_with("TLS handshake failed: ")) << error.Reason();
}

TEST(Tls, StartTlsUpgradesAPlainConnectionAndReplaysWhatWasReadBefore) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    peer.SendLine("+OK hello");
    std::string line;
    if (peer.ReadLine(line) && line == "STLS") {
      peer.SendLine("+OK go ahead");
      EchoScript(peer);
    }
  });
  auto tcp = TTcpConnection::Connect("localhost", server.Port(), 5s);
  EXPECT_EQ(tcp->ReadLine(5s).Text, "+OK hello");
  tcp->WriteLine("STLS");
  EXPECT_EQ(tcp->ReadLine(5s).Text, "+OK go ahead");
  const auto tls = TTlsConnection::StartTls(std::move(tcp), "localhost", 5s, nullptr, TrustingTestCa());
  tls->ReplayInput("+OK hello\r\n");
  EXPECT_EQ(tls->ReadLine(5s).Text, "+OK hello");
  tls->WriteLine("USER secret");
  EXPECT_EQ(tls->ReadLine(5s).Text, "echo USER secret");
  tls->Close();
  EXPECT_EQ(server.Transcript(), "STLS\nUSER secret\n");
}

// Bytes that came in clear behind the STLS answer were not protected by the handshake that
// follows; taking them as the server's first encrypted words would let anyone on the path
// put words in its mouth.
TEST(Tls, StartTlsRefusesBytesThatCameInClearAfterTheAnswer) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    std::string line;
    (void)peer.ReadLine(line);
    peer.Send("+OK go ahead\r\n+OK injected\r\n");
    (void)peer.ReadLine(line);
  });
  auto tcp = TTcpConnection::Connect("localhost", server.Port(), 5s);
  tcp->WriteLine("STLS");
  EXPECT_EQ(tcp->ReadLine(5s).Text, "+OK go ahead");
  const ESocketError error = CaughtError(
      [&] { (void)TTlsConnection::StartTls(std::move(tcp), "localhost", 5s, nullptr, TrustingTestCa()); });
  EXPECT_EQ(error.Kind(), TSocketErrorKind::TlsHandshake);
  EXPECT_EQ(error.Reason(), "the server sent data in clear before the TLS handshake");
}

TEST(Tls, AnUnreadableOrUnusableCaFileIsTold) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    std::string line;
    (void)peer.ReadLine(line);
  });
  const ESocketError missing = CaughtError([&] {
    (void)TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr,
                                  {(Pki().Folder() / "missing.pem").string()});
  });
  EXPECT_EQ(missing.Kind(), TSocketErrorKind::TlsSetup);
  EXPECT_NE(missing.Reason().find("cannot read the CA file"), std::string::npos) << missing.Reason();
  EXPECT_NE(missing.Reason().find("No such file or directory"), std::string::npos) << missing.Reason();
}

TEST(Tls, ACaFileWithoutCertificatesIsToldApartFromAMissingOne) {
  TTestTlsServer server(Pki().Pem("good"), Pki().Key("good"), [](TTestTlsPeer& peer) {
    std::string line;
    (void)peer.ReadLine(line);
  });
  WriteWholeFile(Pki().Folder() / "junk.pem", "not a certificate\n");
  const ESocketError junk = CaughtError([&] {
    (void)TTlsConnection::Connect("localhost", server.Port(), 5s, nullptr, {(Pki().Folder() / "junk.pem").string()});
  });
  EXPECT_EQ(junk.Kind(), TSocketErrorKind::TlsSetup);
  EXPECT_NE(junk.Reason().find("holds no usable certificate"), std::string::npos) << junk.Reason();
}

}  // namespace
