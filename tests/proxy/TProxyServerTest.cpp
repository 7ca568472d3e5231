#include "proxy/TProxyServer.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/ESocketError.h"
#include "platform/TStopSignal.h"
#include "platform/TTcpConnection.h"
#include "platform/TTcpListener.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;

// What a fake session does with its client; it may throw.
using TBehaviour = std::function<void(IConnection& client, const TStopSignal& stop)>;

class FakeSession final : public IProxySession {
 public:
  FakeSession(std::unique_ptr<IConnection> client, const TStopSignal& stop, TBehaviour behaviour, std::string state)
      : client_(std::move(client)), stop_(stop), behaviour_(std::move(behaviour)), state_(std::move(state)) {}
  void Execute() override { behaviour_(*client_, stop_); }
  [[nodiscard]] std::string GetState() const override { return state_; }

 private:
  std::unique_ptr<IConnection> client_;
  const TStopSignal& stop_;
  TBehaviour behaviour_;
  std::string state_;
};

// Greets with the address the client dialled, then waits for the stop or the client's close.
void GreetAndWait(IConnection& client, const TStopSignal& stop) {
  client.WriteLine("+OK " + client.LocalAddress().Ip);
  while (!stop.IsRequested()) {
    const TReadStatus status = client.ReadLine(200ms).Status;
    if (status == TReadStatus::Closed || status == TReadStatus::Reset || status == TReadStatus::Stopped) {
      return;
    }
  }
}

void GreetAndEnd(IConnection& client, const TStopSignal& /*stop*/) { client.WriteLine("+OK bye"); }

std::uint16_t FreePort() {
  const TTcpListener probe("127.0.0.1", 0);
  return probe.Address().Port;
}

TConfigRef ConfigOnPort(int port) {
  TConfigRef config(new TConfig);
  config->ListenPort = port;
  return config;
}

template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string Greeting(const std::string& address, std::uint16_t port) {
  const auto client = TTcpConnection::Connect(address, port, 2s);
  const TReadResult read = client->ReadLine(2s);
  return read.Status == TReadStatus::Line ? read.Text : "(no greeting)";
}

TSocketErrorKind ConnectFailure(const std::string& address, std::uint16_t port) {
  try {
    const auto client = TTcpConnection::Connect(address, port, 2s);
  } catch (const ESocketError& error) {
    return error.Kind();
  }
  return TSocketErrorKind::Other;
}

// The machine's first IPv4 address that is not loopback, or "" when it has none.
std::string ExternalAddress() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return {};
  }
  std::string found;
  for (const ifaddrs* entry = list; entry != nullptr && found.empty(); entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
      continue;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    if (!std::string(text).starts_with("127.")) {
      found = text;
    }
  }
  ::freeifaddrs(list);
  return found;
}

std::size_t ThreadCount() {
  std::size_t count = 0;
  DIR* folder = ::opendir("/proc/self/task");
  while (const dirent* entry = ::readdir(folder)) {
    count += entry->d_name[0] != '.' ? 1 : 0;
  }
  ::closedir(folder);
  return count;
}

// A listener with fake sessions whose behaviour, state and seen configurations the test
// controls, and every status line it reported.
class ProxyServerTest : public ::testing::Test {
 protected:
  struct StatusLine {
    int Kind;
    std::string Text;
  };

  TProxyServer& Start(int port) {
    server_ = std::make_unique<TProxyServer>(
        [this](std::unique_ptr<IConnection> client, const TStopSignal& stop, TConfigRef config) {  // NOLINT(performance-unnecessary-value-param): the factory's signature
          const std::lock_guard lock(mutex_);
          seenConfigs_.push_back(config.get());
          return std::make_unique<FakeSession>(std::move(client), stop, behaviour_,
                                               "session " + std::to_string(seenConfigs_.size()));
        },
        [this](int kind, std::string_view text) {
          const std::lock_guard lock(mutex_);
          status_.push_back({kind, std::string(text)});
        },
        ConfigOnPort(port));
    return *server_;
  }

  std::vector<StatusLine> Status() {
    const std::lock_guard lock(mutex_);
    return status_;
  }
  int CountStatus(int kind, const std::string& part) {
    int count = 0;
    for (const StatusLine& line : Status()) {
      count += line.Kind == kind && line.Text.find(part) != std::string::npos ? 1 : 0;
    }
    return count;
  }
  std::vector<const TConfig*> SeenConfigs() {
    const std::lock_guard lock(mutex_);
    return seenConfigs_;
  }

  TBehaviour behaviour_ = GreetAndWait;
  std::mutex mutex_;
  std::vector<StatusLine> status_;
  std::vector<const TConfig*> seenConfigs_;
  std::unique_ptr<TProxyServer> server_;
};

TEST_F(ProxyServerTest, ListensOnLoopbackOnly) {
  const std::uint16_t port = FreePort();
  TProxyServer& server = Start(port);
  ASSERT_TRUE(server.BindSocket());
  for (const TSocketAddress& address : server.ListeningAddresses()) {
    EXPECT_TRUE(address.Ip.starts_with("127.")) << address.Ip;
  }
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK 127.0.0.1");
  EXPECT_EQ(CountStatus(0, "Listening on port " + std::to_string(port)), 1);

  const std::string external = ExternalAddress();
  if (external.empty()) {
    GTEST_SKIP() << "this machine has no external IPv4 address to try";
  }
  EXPECT_EQ(ConnectFailure(external, port), TSocketErrorKind::Refused) << external;
}

TEST_F(ProxyServerTest, LocalAddressesAddedAndRemovedRebind) {
  const std::uint16_t port = FreePort();
  TProxyServer& server = Start(port);
  ASSERT_TRUE(server.BindSocket());
  EXPECT_EQ(ConnectFailure("127.84.3.7", port), TSocketErrorKind::Refused);

  // Duplicates, 127.0.0.1 itself and addresses off the machine's loopback are not bound twice
  // or at all.
  server.SetLocalAddresses({"127.84.3.7", "127.84.3.7", "127.0.0.1", "192.0.2.1", "127.84.3.999"});
  EXPECT_EQ(server.ListeningAddresses().size(), 2U);
  EXPECT_EQ(Greeting("127.84.3.7", port), "+OK 127.84.3.7");
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK 127.0.0.1");
  EXPECT_EQ(CountStatus(1, "'192.0.2.1'"), 1);
  EXPECT_EQ(CountStatus(1, "'127.84.3.999'"), 1);

  server.SetLocalAddresses({});
  EXPECT_EQ(ConnectFailure("127.84.3.7", port), TSocketErrorKind::Refused);
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK 127.0.0.1");
}

TEST_F(ProxyServerTest, PortInUseIsReportedWithThePortAndTheProgramRunsOn) {
  auto other = std::make_unique<TTcpListener>("127.0.0.1", 0);
  const std::uint16_t port = other->Address().Port;
  TProxyServer& server = Start(port);
  EXPECT_FALSE(server.BindSocket());

  const std::string p = std::to_string(port);
  EXPECT_EQ(CountStatus(2, "Unable to bind to port " + p + ": Quorix was unable to attach to port " + p +
                               " because that port is already in use by another program."),
            1);
  EXPECT_EQ(CountStatus(2, "change the port that Quorix uses"), 1);

  // Once the port is free, applying the settings again (same port) retries the bind.
  other.reset();
  server.SetConfig(ConfigOnPort(port));
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK 127.0.0.1");
}

TEST_F(ProxyServerTest, PortThatNeedsPrivilegesNamesThePortAndTheRemedies) {
  std::ifstream start("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int firstFree = 0;
  if (!(start >> firstFree) || firstFree <= 110) {
    GTEST_SKIP() << "this system lets every user bind port 110";
  }
  // As the unprivileged user, for whom port 110 is really out of reach.
  const std::string result = RunInChild(
      [this] {
        TProxyServer& server = Start(110);
        const bool bound = server.BindSocket();
        std::string texts = bound ? "bound" : "not bound";
        for (const StatusLine& line : Status()) {
          texts += "\n" + std::to_string(line.Kind) + " " + line.Text;
        }
        server_.reset();
        return texts;
      },
      true);
  EXPECT_TRUE(result.starts_with("not bound\n2 Unable to bind to port 110: Quorix was not allowed to attach to "
                                 "port 110 because ports below 1024 need privileges"))
      << result;
  EXPECT_NE(result.find("a port from 1024 up"), std::string::npos) << result;
  EXPECT_NE(result.find("setcap cap_net_bind_service=+ep '/"), std::string::npos) << result;
}

TEST_F(ProxyServerTest, WaitForThreadsStopsBlockedSessionsAndStatesFollowTheList) {
  const std::uint16_t port = FreePort();
  TProxyServer& server = Start(port);
  ASSERT_TRUE(server.BindSocket());
  EXPECT_EQ(server.GetStates(), "Ready");

  std::vector<std::unique_ptr<TTcpConnection>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(TTcpConnection::Connect("127.0.0.1", port, 2s));
    ASSERT_EQ(clients.back()->ReadLine(2s).Status, TReadStatus::Line);
  }
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveThreadsCount() == 3; }));
  EXPECT_EQ(server.GetStates(), "session 1, session 2, session 3");

  server.WaitForThreads();
  EXPECT_EQ(server.ActiveThreadsCount(), 0U);
  EXPECT_EQ(server.GetStates(), "Ready");
  for (const auto& client : clients) {
    EXPECT_EQ(client->ReadLine(2s).Status, TReadStatus::Closed);
  }

  // The listener may be opened again, with a stop signal of its own for the new sessions.
  ASSERT_TRUE(server.BindSocket());
  const auto again = TTcpConnection::Connect("127.0.0.1", port, 2s);
  EXPECT_EQ(again->ReadLine(2s).Text, "+OK 127.0.0.1");
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveThreadsCount() == 1; }));
  EXPECT_EQ(again->ReadLine(300ms).Status, TReadStatus::TimedOut);
}

TEST_F(ProxyServerTest, SetConfigRebindsOnlyForANewPortAndRunningSessionsKeepTheirs) {
  const std::uint16_t port = FreePort();
  TProxyServer& server = Start(port);
  ASSERT_TRUE(server.BindSocket());
  const auto first = TTcpConnection::Connect("127.0.0.1", port, 2s);
  ASSERT_EQ(first->ReadLine(2s).Status, TReadStatus::Line);

  TConfigRef samePort = ConfigOnPort(port);
  server.SetConfig(samePort);
  EXPECT_EQ(CountStatus(0, "Listening on port"), 1);
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK 127.0.0.1");
  // The first session is still running on its own configuration.
  EXPECT_EQ(first->ReadLine(100ms).Status, TReadStatus::TimedOut);
  ASSERT_EQ(SeenConfigs().size(), 2U);
  EXPECT_NE(SeenConfigs()[0], samePort.get());
  EXPECT_EQ(SeenConfigs()[1], samePort.get());

  const std::uint16_t newPort = FreePort();
  server.SetConfig(ConfigOnPort(newPort));
  EXPECT_EQ(CountStatus(0, "Listening on port " + std::to_string(newPort)), 1);
  EXPECT_EQ(Greeting("127.0.0.1", newPort), "+OK 127.0.0.1");
  EXPECT_EQ(ConnectFailure("127.0.0.1", port), TSocketErrorKind::Refused);
  EXPECT_EQ(first->ReadLine(100ms).Status, TReadStatus::TimedOut);
}

TEST_F(ProxyServerTest, FailingSessionsBecomeErrorLinesAndTheListenerGoesOn) {
  const std::uint16_t port = FreePort();
  behaviour_ = [](IConnection& client, const TStopSignal&) {
    client.WriteLine("+OK about to fail");
    throw std::runtime_error("the session broke");
  };
  TProxyServer& server = Start(port);
  ASSERT_TRUE(server.BindSocket());
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK about to fail");
  ASSERT_TRUE(WaitUntil([&] { return CountStatus(2, "the session broke") == 1; }));
  EXPECT_EQ(CountStatus(2, "(std::runtime_error: the session broke)"), 1);

  behaviour_ = [](IConnection&, const TStopSignal&) { throw 42; };
  {
    const auto client = TTcpConnection::Connect("127.0.0.1", port, 2s);
    EXPECT_EQ(client->ReadLine(2s).Status, TReadStatus::Closed);
  }
  ASSERT_TRUE(WaitUntil([&] { return CountStatus(2, "An internal error has occurred") == 2; }));

  behaviour_ = GreetAndEnd;
  EXPECT_EQ(Greeting("127.0.0.1", port), "+OK bye");
  EXPECT_TRUE(WaitUntil([&] { return server.ActiveThreadsCount() == 0; }));
}

TEST_F(ProxyServerTest, FinishedSessionsLeaveNoThreadsBehind) {
  const std::uint16_t port = FreePort();
  behaviour_ = GreetAndEnd;
  TProxyServer& server = Start(port);
  ASSERT_TRUE(server.BindSocket());
  ASSERT_EQ(Greeting("127.0.0.1", port), "+OK bye");
  ASSERT_TRUE(WaitUntil([&] { return server.ActiveThreadsCount() == 0; }));
  const std::size_t before = ThreadCount();
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(Greeting("127.0.0.1", port), "+OK bye");
  }
  // Each accept joins the threads of the sessions that ended before it; the last one's may
  // still be running.
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= before + 1; })) << ThreadCount() << " > " << before + 1;
}

}  // namespace
