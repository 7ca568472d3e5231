#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/CaughtSocketError.h"
#include "support/ChildProcess.h"
#include "platform/ESocketError.h"
#include "platform/TStopSignal.h"
#include "platform/TTcpConnection.h"
#include "platform/TTcpListener.h"

// What only a real network shows: connecting, binding, accepting.
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Tcp, ConnectingAndAcceptingGiveBothEndsTheirAddresses) {
  TTcpListener listener("127.0.0.1", 0);
  const std::uint16_t port = listener.Address().Port;
  ASSERT_NE(port, 0);
  const auto client = TTcpConnection::Connect("127.0.0.1", port, 2s);
  const auto server = listener.Accept(2s);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->LocalAddress(), (TSocketAddress{"127.0.0.1", port}));
  EXPECT_EQ(server->PeerAddress(), client->LocalAddress());
  EXPECT_EQ(client->PeerAddress(), server->LocalAddress());
  client->WriteLine("CAPA");
  const TReadResult read = server->ReadLine(2s);
  EXPECT_EQ(read.Status, TReadStatus::Line);
  EXPECT_EQ(read.Text, "CAPA");
}

TEST(Tcp, ConnectingByNameGoesThroughTheResolver) {
  TTcpListener listener("127.0.0.1", 0);
  const auto client = TTcpConnection::Connect("localhost", listener.Address().Port, 2s);
  EXPECT_EQ(client->PeerAddress().Ip, "127.0.0.1");
}

TEST(Tcp, ConnectToAClosedPortIsRefused) {
  std::uint16_t port = 0;
  {
    TTcpListener listener("127.0.0.1", 0);
    port = listener.Address().Port;
  }
  const ESocketError error = CaughtError([&] { (void)TTcpConnection::Connect("127.0.0.1", port, 2s); });
  EXPECT_EQ(error.Kind(), TSocketErrorKind::Refused) << error.what();
  EXPECT_EQ(error.Reason(), "Connection refused");
  EXPECT_EQ(std::string(error.what()),
            "cannot connect to '127.0.0.1' port " + std::to_string(port) + ": Connection refused");
}

TEST(Tcp, ConnectToAnUnknownNameSaysSo) {
  const ESocketError error =
      CaughtError([] { (void)TTcpConnection::Connect("no-such-host.invalid", 110, 5s); });
  if (error.Kind() == TSocketErrorKind::ResolverFailure) {
    GTEST_SKIP() << "the resolver here cannot answer at all: " << error.what();
  }
  EXPECT_EQ(error.Kind(), TSocketErrorKind::NameNotFound) << error.what();
  EXPECT_NE(std::string(error.what()).find("'no-such-host.invalid' port 110"), std::string::npos) << error.what();
}

// A listener that never accepts and whose queue is full drops new SYNs, so a connect hangs
// as it does towards a server that is down behind a firewall. Addresses that are not routed
// are no good here: sandboxes and CI networks often answer them.
TEST(Tcp, ConnectTimesOutAndAStopEndsTheWaitAtOnce) {
  TTcpListener listener("127.0.0.1", 0, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(listener.Address().Port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<int> fillers;
  bool full = false;
  for (int i = 0; i < 64 && !full; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    fillers.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      continue;
    }
    pollfd wait{fd, POLLOUT, 0};
    full = ::poll(&wait, 1, 200) == 0;
  }
  const auto cleanup = [&] {
    for (const int fd : fillers) {
      ::close(fd);
    }
  };
  if (!full) {
    cleanup();
    GTEST_SKIP() << "the loopback network here completes every connect, even to a full queue";
  }

  auto start = Clock::now();
  ESocketError error = CaughtError([&] { (void)TTcpConnection::Connect("127.0.0.1", listener.Address().Port, 300ms); });
  EXPECT_EQ(error.Kind(), TSocketErrorKind::TimedOut) << error.what();
  EXPECT_EQ(error.Reason(), "Connection timed out");
  EXPECT_GE(Clock::now() - start, 300ms);

  TStopSignal stop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(200ms);
    stop.Request();
  });
  start = Clock::now();
  error = CaughtError([&] { (void)TTcpConnection::Connect("127.0.0.1", listener.Address().Port, 60s, &stop); });
  EXPECT_EQ(error.Kind(), TSocketErrorKind::Stopped) << error.what();
  EXPECT_LT(Clock::now() - start, 1s);
  stopper.join();
  cleanup();
}

TEST(Tcp, APortInUseIsReportedAsSuch) {
  TTcpListener first("127.0.0.1", 0);
  const std::uint16_t port = first.Address().Port;
  const ESocketError error = CaughtError([&] { TTcpListener second("127.0.0.1", port); });
  EXPECT_EQ(error.Kind(), TSocketErrorKind::AddressInUse) << error.what();
  EXPECT_EQ(std::string(error.what()),
            "cannot listen on 127.0.0.1 port " + std::to_string(port) + ": Address already in use");
}

TEST(Tcp, AnAddressThatIsNotIPv4IsRefusedByName) {
  const ESocketError error = CaughtError([] { TTcpListener listener("localhost", 0); });
  EXPECT_EQ(std::string(error.what()), "cannot listen on localhost port 0: not an IPv4 address");
}

// Root may bind anything, so as root the bind happens in a child that has become the
// unprivileged user (and so lost every capability).
TEST(Tcp, APortThatNeedsPrivilegesIsReportedAsSuch) {
  int firstFreePort = 1024;
  std::ifstream("/proc/sys/net/ipv4/ip_unprivileged_port_start") >> firstFreePort;
  if (firstFreePort <= 1) {
    GTEST_SKIP() << "this system lets every user bind every port (ip_unprivileged_port_start is "
                 << firstFreePort << ")";
  }
  const auto port = static_cast<std::uint16_t>(firstFreePort - 1);
  const std::string result = RunInChild(
      [port] {
        try {
          TTcpListener listener("127.0.0.1", port);
          return std::string("bound");
        } catch (const ESocketError& error) {
          return std::string(error.Kind() == TSocketErrorKind::AccessDenied ? "AccessDenied " : "other ") +
                 error.what();
        }
      },
      true);
  if (result == "bound") {
    GTEST_SKIP() << "this user may bind port " << port << " (it has CAP_NET_BIND_SERVICE)";
  }
  EXPECT_EQ(result, "AccessDenied cannot listen on 127.0.0.1 port " + std::to_string(port) + ": Permission denied");
}

TEST(Tcp, AcceptWaitsForItsTimeOutAndAStopEndsItAtOnce) {
  TTcpListener listener("127.0.0.1", 0);
  auto start = Clock::now();
  EXPECT_EQ(listener.Accept(150ms), nullptr);
  EXPECT_GE(Clock::now() - start, 150ms);

  TStopSignal stop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(200ms);
    stop.Request();
  });
  start = Clock::now();
  EXPECT_EQ(listener.Accept(60s, &stop), nullptr);
  EXPECT_LT(Clock::now() - start, 1s);
  stopper.join();
}

}  // namespace
