#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "daemon/DaemonFixture.h"
#include "integration/HostsTestSupport.h"
#include "platform/ESocketError.h"
#include "platform/TStopSignal.h"
#include "platform/TTcpConnection.h"
#include "platform/TTcpListener.h"

// quorix --headless as a user or a service manager runs it.
namespace {

using namespace std::chrono_literals;

class HeadlessTest : public DaemonFixture {
 protected:
  std::unique_ptr<QuorixProcess> Start(const std::vector<std::string>& arguments,
                                       const QuorixProcess::Environment& extra = {}) {
    QuorixProcess::Environment environment = Environment();
    for (const auto& [name, value] : extra) environment[name] = value;
    std::vector<std::string> words{"--headless"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return std::make_unique<QuorixProcess>(words, environment, Output());
  }
};

bool Refused(std::uint16_t port) {
  try {
    (void)TTcpConnection::Connect("127.0.0.1", port, 2s);
  } catch (const ESocketError& error) {
    return error.Kind() == TSocketErrorKind::Refused;
  }
  return false;
}

TEST_F(HeadlessTest, ASecondStartAsksTheFirstForwardAndExitsWithOne) {
  const std::string port = std::to_string(FreePort());
  auto first = Start({"--port", port});
  ASSERT_TRUE(first->WaitForOutput("info  Listening on port " + port)) << first->Out() << first->Err();

  // Whatever the second start was asked to do.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--headless", "--port", port}, std::vector<std::string>{"/minimize"}}) {
    std::string out;
    EXPECT_EQ(QuorixProcess::Run(arguments, Environment(), Output(), &out), 1);
    EXPECT_NE(out.find("already running; it was asked to come forward"), std::string::npos) << out;
  }
  EXPECT_TRUE(first->WaitForOutput("asked this copy to come forward"));
  first->Signal(SIGTERM);
  EXPECT_EQ(first->Wait(), 0);
}

TEST_F(HeadlessTest, WithoutHeadlessItSaysTheWindowedProgramIsNotBuilt) {
  std::string err;
  EXPECT_EQ(QuorixProcess::Run({}, Environment(), Output(), nullptr, &err), 2);
  EXPECT_NE(err.find("windowed program is not built yet"), std::string::npos) << err;
}

TEST_F(HeadlessTest, PortInUseIsReportedAndTheProgramRunsOn) {
  const TTcpListener other("127.0.0.1", 0);
  const std::string port = std::to_string(other.Address().Port);
  auto daemon = Start({"--port", port});
  const std::string expected = "error Unable to bind to port " + port + ": Quorix was unable to attach to port " + port;
  ASSERT_TRUE(daemon->WaitForOutput(expected)) << daemon->Out();
  EXPECT_NE(daemon->Err().find(expected), std::string::npos) << daemon->Err();
  std::this_thread::sleep_for(300ms);
  daemon->Signal(SIGINT);
  EXPECT_EQ(daemon->Wait(), 0) << daemon->Out();
}

TEST_F(HeadlessTest, TerminationSavesTheStateWithoutUndoingAnAccountAddedMeanwhile) {
  const std::string port = std::to_string(FreePort());
  auto daemon = Start({"--port", port});
  ASSERT_TRUE(daemon->WaitForOutput("Listening on port " + port)) << daemon->Out();
  EXPECT_TRUE(std::filesystem::exists(RuntimeFolder() / "quorix.pid"));

  // The account command tells the daemon to reload, which then listens on the new address.
  std::string out;
  ASSERT_EQ(Account({"add", "pop.example.org:1995"}, &out), 0) << out;
  EXPECT_NE(out.find("Told the running Quorix (process " + std::to_string(daemon->Pid())), std::string::npos) << out;
  ASSERT_TRUE(daemon->WaitForOutput("Listening on port " + port + " (127.0.0.1, 127.84.3.1)")) << daemon->Out();

  daemon->Signal(SIGTERM);
  EXPECT_EQ(daemon->Wait(), 0) << daemon->Out();
  EXPECT_NE(daemon->Out().find("info  Closing on TERM; no connection is running"), std::string::npos);
  EXPECT_NE(daemon->Out().find("info  Quorix stopped"), std::string::npos);
  const std::string settings = ReadWholeFile(Registry());
  EXPECT_NE(settings.find("[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\State]"), std::string::npos) << settings;
  EXPECT_NE(settings.find("\"RemoteHostname\"=\"pop.example.org\""), std::string::npos) << settings;
  EXPECT_FALSE(std::filesystem::exists(RuntimeFolder() / "quorix.pid"));
}

TEST_F(HeadlessTest, HangUpReloadsTheSettingsAndRebindsForANewPort) {
  const std::uint16_t before = FreePort();
  WriteSettings(before);
  auto daemon = Start({});
  ASSERT_TRUE(daemon->WaitForOutput("Listening on port " + std::to_string(before))) << daemon->Out();

  const std::uint16_t after = FreePort();
  WriteSettings(after);
  daemon->Signal(SIGHUP);
  ASSERT_TRUE(daemon->WaitForOutput("Listening on port " + std::to_string(after))) << daemon->Out();
  EXPECT_FALSE(Refused(after));
  EXPECT_TRUE(Refused(before));
  daemon->Signal(SIGTERM);
  EXPECT_EQ(daemon->Wait(), 0);
}

// A POP3 server that starts sending message 1 and then goes quiet, as a slow server does,
// until the proxy hangs up.
class StallingServer {
 public:
  StallingServer() : listener_("127.0.0.1", 0) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~StallingServer() {
    stop_.Request();
    thread_.join();
  }
  StallingServer(const StallingServer&) = delete;
  StallingServer& operator=(const StallingServer&) = delete;

  [[nodiscard]] std::uint16_t Port() const { return listener_.Address().Port; }

 private:
  void Serve() {
    const auto client = listener_.Accept(20s, &stop_);
    if (!client) return;
    client->SetStopSignal(&stop_);
    client->WriteLine("+OK stalling server ready");
    for (;;) {
      const TReadResult read = client->ReadLine(20s);
      if (read.Status != TReadStatus::Line) return;
      if (read.Text == "RETR 1") {
        client->Write("+OK 2000 octets\r\nFrom: sender@example.org\r\nSubject: slow\r\n\r\nfirst line\r\n");
      } else {
        client->WriteLine("+OK");
      }
    }
  }

  TTcpListener listener_;
  TStopSignal stop_;
  std::thread thread_;
};

TEST_F(HeadlessTest, TerminationDuringADownloadWaitsForTheSessionAndExitsWithZero) {
  StallingServer server;
  ASSERT_EQ(Account({"add", "pop.test:" + std::to_string(server.Port()), "--tls", "none"}), 0);
  // The daemon resolves the dialled address back to the account's name, and the account's
  // server to its address, through nss_wrapper reading a copy of our hosts file.
  WriteWholeFile(scratch_ / "nss" / "hosts",
                 HostsTest::ForNssWrapper(ReadWholeFile(HostsFile())) + "127.0.0.1 pop.test\n");
  WriteWholeFile(scratch_ / "nss" / "passwd", "root:x:0:0:root:/root:/bin/sh\n");
  WriteWholeFile(scratch_ / "nss" / "group", "root:x:0:\n");
  const std::uint16_t port = FreePort();
  // A preloaded nss_wrapper comes before the sanitizers' runtime, which then refuses to start
  // unless told that the order is meant.
  const char* asanOptions = std::getenv("ASAN_OPTIONS");
  auto daemon = Start({"--port", std::to_string(port)},
                      {{"ASAN_OPTIONS", std::string(asanOptions != nullptr ? asanOptions : "") +
                                            ":verify_asan_link_order=0"},
                       {"LD_PRELOAD", "libnss_wrapper.so"},
                       {"NSS_WRAPPER_HOSTS", (scratch_ / "nss" / "hosts").string()},
                       {"NSS_WRAPPER_PASSWD", (scratch_ / "nss" / "passwd").string()},
                       {"NSS_WRAPPER_GROUP", (scratch_ / "nss" / "group").string()}});
  ASSERT_TRUE(daemon->WaitForOutput("(127.0.0.1, 127.84.3.1)")) << daemon->Out();

  const auto client = TTcpConnection::Connect("127.84.3.1", port, 2s);
  ASSERT_EQ(client->ReadLine(5s).Text, "+OK stalling server ready") << daemon->Out();
  client->WriteLine("RETR 1");
  const TReadResult status = client->ReadLine(5s);
  ASSERT_EQ(status.Status, TReadStatus::Line);
  EXPECT_TRUE(status.Text.starts_with("+OK 2000 octets")) << status.Text;

  daemon->Signal(SIGTERM);
  EXPECT_EQ(daemon->Wait(), 0) << daemon->Out();
  const std::string out = daemon->Out();
  EXPECT_NE(out.find("Closing on TERM; waiting for 1 connection(s)"), std::string::npos) << out;
  EXPECT_LT(out.find("waiting for 1 connection(s)"), out.find("Quorix stopped")) << out;
}

}  // namespace
