#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/BuiltInSecurityProfiles.h"
#include "engine/TProxyMessageProcessorInterfaceFactory.h"
#include "logs/TMessageLogs.h"
#include "platform/ESocketError.h"
#include "platform/TTcpConnection.h"
#include "platform/TTcpListener.h"
#include "proxy/TPOPProxy.h"
#include "support/ScratchFolder.h"
#include "tests/proxy/SessionHarness.h"

using ProxyTest::Session;

namespace {

bool HasErrorStatus(const ProxyTest::StatusLog& status) {
  for (const auto& line : status.Lines()) {
    if (line.Kind == 2) return true;
  }
  return false;
}

// Starts a download and passes its first lines on; "." never comes.
void StartDownload(Session& session) {
  session.StartWithGreeting();
  session.Client().WriteLine("RETR 1");
  ASSERT_EQ(session.ServerLine(), "RETR 1");
  session.Server().Write("+OK\r\nSubject: half\r\n");
  ASSERT_EQ(session.ClientLine(), "+OK (processed by QX)");
  ASSERT_EQ(session.ClientLine(), "Subject: half");
}

void ExpectDroppedUnfinished(Session& session) {
  const std::lock_guard lock(session.bridge.Mutex);
  EXPECT_EQ(session.bridge.Made, 1);
  EXPECT_EQ(session.bridge.Finished, 0);
  EXPECT_EQ(session.bridge.Destroyed, 1);
}

TEST(TPOPProxyFaults, TheServerClosingInTheMiddleOfAMessageEndsTheSession) {
  Session session;
  StartDownload(session);
  session.Server().Write("line without its end");
  session.Server().Close();
  // What the server sent last is passed on as a line; no "." is invented.
  EXPECT_EQ(session.ClientBytesUntilClosed(), "line without its end\r\n");
  ASSERT_TRUE(session.WaitForEnd());
  ExpectDroppedUnfinished(session);
  EXPECT_TRUE(session.status.Contains("Connection to 'pop.example.net' closed"));
  EXPECT_FALSE(HasErrorStatus(session.status));
}

TEST(TPOPProxyFaults, TheClientClosingInTheMiddleOfAMessageDropsTheBridgeQuietly) {
  Session session;
  StartDownload(session);
  session.Client().Close();
  // The server keeps sending until the proxy hangs up on it.
  std::string more;
  for (int i = 0; i < 100; ++i) more += "more body text\r\n";
  try {
    for (int i = 0; i < 1000 && session.Server().IsConnected(); ++i) {
      session.Server().Write(more);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (session.WaitForEnd(std::chrono::milliseconds(0))) break;
    }
  } catch (const ESocketError&) {  // NOLINT(bugprone-empty-catch): the proxy closed first
  }
  ASSERT_TRUE(session.WaitForEnd());
  EXPECT_EQ(session.ServerBytesUntilClosed(), "");  // nothing more went to the server
  ExpectDroppedUnfinished(session);
  EXPECT_TRUE(session.status.Contains("Dropping connection to 'pop.example.net'"));
  EXPECT_FALSE(HasErrorStatus(session.status));
}

TEST(TPOPProxyFaults, AServerLineLongerThanTheReadersMaximumArrivesIntact) {
  const std::string longLine = "1 " + std::string(300000, 'x');
  struct Case {
    const char* command;
    std::string statusLine;
  };
  for (const Case& c : {Case{"UIDL", "+OK"}, Case{"RETR 1", "+OK (processed by QX)"}}) {
    SCOPED_TRACE(c.command);
    Session session;
    session.StartWithGreeting();
    session.Client().WriteLine(c.command);
    EXPECT_EQ(session.ServerLine(), c.command);
    session.Server().Write("+OK\r\n" + longLine + "\r\n.\r\n");
    EXPECT_EQ(session.ClientLine(), c.statusLine);
    EXPECT_EQ(session.ClientLine(), longLine);
    EXPECT_EQ(session.ClientLine(), ".");
  }
}

TEST(TPOPProxyFaults, AListenerStopDuringADownloadEndsTheSessionCleanly) {
  Session session;
  StartDownload(session);
  session.stop.Request();
  ASSERT_TRUE(session.WaitForEnd());
  EXPECT_EQ(session.ClientBytesUntilClosed(), "");
  EXPECT_EQ(session.ServerBytesUntilClosed(), "");
  ExpectDroppedUnfinished(session);
  EXPECT_FALSE(HasErrorStatus(session.status));
}

TEST(TPOPProxyFaults, AServerSendingOneByteASecondDoesNotHoldUpAListenerStop) {
  TTcpListener listener("127.0.0.1", 0);
  TStopSignal serverStop;
  std::thread server([&] {
    auto connection = listener.Accept(ProxyTest::kWait, &serverStop);
    if (!connection) return;
    const std::string greeting = "+OK a very slow greeting\r\n";
    try {
      for (char byte : greeting) {
        connection->Write(std::string_view(&byte, 1));
        for (int slice = 0; slice < 20 && !serverStop.IsRequested(); ++slice) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (serverStop.IsRequested()) return;
      }
    } catch (const ESocketError&) {  // NOLINT(bugprone-empty-catch): the proxy hung up, as it should
    }
  });
  const std::uint16_t port = listener.Address().Port;
  Session session;
  session.environment.ConnectToServer = [port](const TAccount&, const TStopSignal& stop) -> std::unique_ptr<IConnection> {
    return TTcpConnection::Connect("127.0.0.1", port, std::chrono::seconds(5), &stop);
  };
  session.Start();
  ASSERT_TRUE(session.status.WaitFor("Connecting to 'pop.example.net' on port 110"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a few bytes are on their way
  session.stop.Request();
  // About a second at most; the bound is loose for loaded machines.
  EXPECT_TRUE(session.WaitForEnd(std::chrono::seconds(5)));
  serverStop.Request();
  server.join();
  EXPECT_EQ(session.ClientBytesUntilClosed(), "");  // half a greeting is not passed on as a line
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST(TPOPProxyFaults, TheRealEngineGivesTheClientWhatItGivesOnItsOwn) {
  MessageProcessorInterfaceOptions options;
  options.processingTime = MailParser::MessageDate{2024, 5, 1, 10, 0, 0, 120};
  options.resolver = [](const std::string&) { return std::nullopt; };
  const auto factory = EngineMessageProcessorFactory(options);
  TConfigRef config = ProxyTest::ConfigWithAccount();
  CreateDefaultSecurityProfiles(config->SecurityProfiles);
  const std::vector<std::string> message = ReadLines(QUORIX_TEST_DATA_DIR "/engine/html-script-tracking.eml");
  ASSERT_FALSE(message.empty());

  std::vector<std::string> expected;
  {
    auto bridge = factory(config, *config->Accounts.GetAccount(0),
                          [&expected](std::string_view text) {
                            // Cut as the session cuts processed text into lines.
                            std::string_view rest = text;
                            for (auto end = rest.find("\r\n");; end = rest.find("\r\n")) {
                              expected.emplace_back(rest.substr(0, end));
                              if (end == std::string_view::npos) break;
                              rest.remove_prefix(end + 2);
                            }
                          },
                          nullptr, nullptr);
    for (const auto& line : message) bridge->ProcessLine(line);
    bridge->Finish();
  }

  ScratchFolder logFolder;
  TMessageLogs logs(logFolder.Path());
  Session session(config);
  session.environment.ProcessorFactory = factory;
  session.environment.MessageLogs = &logs;
  session.StartWithGreeting();
  session.Client().WriteLine("RETR 1");
  EXPECT_EQ(session.ServerLine(), "RETR 1");
  std::string wire = "+OK message follows\r\n";
  for (const auto& line : message) wire += (line.starts_with('.') ? "." : "") + line + "\r\n";
  session.Server().Write(wire + ".\r\n");
  EXPECT_EQ(session.ClientLine(), "+OK message follows (processed by QX)");
  std::vector<std::string> received;
  for (std::string line = session.ClientLine(); line != "." && !Session::IsNoLine(line); line = session.ClientLine()) {
    received.push_back(line.starts_with('.') ? line.substr(1) : line);
  }
  EXPECT_EQ(received, expected);
  EXPECT_NE(received, message);  // the engine did change it
  EXPECT_EQ(logs.GetProcessedTotal(), 1);
}

}  // namespace
