#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/ESocketError.h"
#include "proxy/TPOPProxy.h"
#include "tests/proxy/SessionHarness.h"

using ProxyTest::Session;
using ProxyTest::StatusLine;

namespace {

const std::string kConnecting = "Connecting to 'pop.example.net' on port 110";

TEST(TPOPProxySetup, FailuresAnswerTheClientAndTheStatusLogInTheSameWords) {
  struct Case {
    const char* name;
    std::string localAddress;
    std::string localHostname;  // what the dialled address resolves to
    bool serverRefuses;
    std::string text;
    bool connects;
  };
  const std::vector<Case> cases = {
      {"plain loopback", "127.0.0.1", "localhost",  false,
       "Connections are allowed only from the local host (127.0.0.1 is not a local address)", false},
      {"the machine's own address", "192.168.7.20", "", false,
       "Connections are allowed only from the local host (192.168.7.20 is not a local address)", false},
      {"an account address without a name", "127.84.3.9", "", false,
       "Can't find host name for '127.84.3.9' - please check your account settings in the Options dialog", false},
      {"a name no account has", "127.84.3.2", "other.example.org.qx", false,
       "Can't find the account for 'other.example.org.qx' - please check your account settings in the Options dialog",
       false},
      {"a server that refuses", "127.84.3.2", "POP.Example.NET.qx", true,
       "Can't make outgoing connection to 'pop.example.net': Connection refused", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session session(ProxyTest::ConfigWithAccount(), c.localAddress);
    session.environment.HostNameOf = [&c](const std::string&) { return c.localHostname; };
    if (c.serverRefuses) {
      session.environment.ConnectToServer = [](const TAccount&, const TStopSignal&) -> std::unique_ptr<IConnection> {
        throw ESocketError(TSocketErrorKind::Refused, ECONNREFUSED, "cannot connect to 'pop.example.net' port 110",
                           "Connection refused");
      };
    }
    EXPECT_FALSE(session.Proxy().Setup());
    EXPECT_EQ(session.ClientBytesUntilClosed(), "-ERR " + c.text + "\r\n");
    std::vector<StatusLine> expected;
    if (c.connects) expected.push_back({0, kConnecting});
    expected.push_back({2, c.text});
    EXPECT_EQ(session.status.Lines(), expected);
    EXPECT_EQ(session.connects, 0);  // the injected server was never asked for
  }
}

// A port on which nothing listens: bound once by us and closed again.
std::uint16_t ClosedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "cannot bind a loopback port";
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(TPOPProxySetup, ARealRefusedConnectNamesTheSystemsReason) {
  const std::uint16_t port = ClosedLoopbackPort();
  TConfigRef config(new TConfig);
  config->Accounts.AddAccount(std::make_unique<TAccount>("127.0.0.1", port, "Medium"));
  Session session(config);
  session.environment.HostNameOf = [](const std::string&) { return std::string("127.0.0.1.qx"); };
  session.environment.ConnectToServer = nullptr;  // the real TCP connect
  EXPECT_FALSE(session.Proxy().Setup());
  const std::string text = "Can't make outgoing connection to '127.0.0.1': Connection refused";
  EXPECT_EQ(session.ClientBytesUntilClosed(), "-ERR " + text + "\r\n");
  EXPECT_TRUE(session.status.Contains(text));
}

TEST(TPOPProxySetup, StateNamesThePortOnlyWhenItIsNotTheStandardOne) {
  struct Case {
    int port;
    std::string state;
  };
  for (const Case& c : {Case{110, "Connected to pop.example.net"}, Case{995, "Connected to pop.example.net:995"}}) {
    Session session(ProxyTest::ConfigWithAccount(c.port));
    EXPECT_EQ(session.Proxy().GetState(), "Incoming connection...");
    EXPECT_EQ(session.Proxy().GetRemoteOutgoingHostname(), "unknown");
    EXPECT_EQ(session.Proxy().GetRemoteOutgoingPort(), 0);
    session.StartWithGreeting();
    EXPECT_EQ(session.Proxy().GetState(), c.state);
    EXPECT_EQ(session.Proxy().GetRemoteOutgoingPort(), c.port);
    EXPECT_EQ(session.Proxy().GetLocalIncomingIP(), "127.84.3.2");
    EXPECT_EQ(session.Proxy().GetLocalIncomingHostname(), "pop.example.net.qx");
  }
}

}  // namespace
