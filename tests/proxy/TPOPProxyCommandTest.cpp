#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "proxy/TPOPProxy.h"
#include "tests/proxy/SessionHarness.h"

using ProxyTest::Session;

namespace {

const std::string kDownloading = "Downloading message from 'pop.example.net'";

TEST(TPOPProxyCommands, STLSInAnyCaseIsRefusedLocallyAndNeverReachesTheServer) {
  Session session;
  session.StartWithGreeting();
  for (const char* command : {"STLS", "stls", "StLs", "stls now"}) {
    SCOPED_TRACE(command);
    session.Client().WriteLine(command);
    EXPECT_EQ(session.ClientLine(), "-ERR STLS command blocked by qx");
  }
  session.Client().WriteLine("NOOP");
  EXPECT_EQ(session.ServerLine(), "NOOP");  // the first line the server ever got
}

TEST(TPOPProxyCommands, CAPALosesPipeliningAndSTLSAndIsForwardedAsTyped) {
  Session session;
  session.StartWithGreeting();
  session.Client().WriteLine("capa");
  EXPECT_EQ(session.ServerLine(), "capa");
  session.Server().Write("+OK Capability list follows\r\nUSER\r\nPIPELINING\r\nSTLS\r\nTOP\r\nsasl PLAIN\r\n.\r\n");
  EXPECT_EQ(session.ClientLine(), "+OK Capability list follows (processed by QX)");
  for (const char* line : {"USER", "TOP", "sasl PLAIN", "."}) {
    EXPECT_EQ(session.ClientLine(), line);
  }
  // The reply is complete: the next one passes as it is.
  session.Client().WriteLine("NOOP");
  EXPECT_EQ(session.ServerLine(), "NOOP");
  session.Server().Write("+OK\r\n");
  EXPECT_EQ(session.ClientLine(), "+OK");
}

TEST(TPOPProxyCommands, RETRAndTOPGoThroughTheBridgeUnstuffedAndComeBackStuffed) {
  for (const char* command : {"RETR 1", "retr 2", "TOP 1 0"}) {
    SCOPED_TRACE(command);
    Session session;
    session.StartWithGreeting();
    session.Client().WriteLine(command);
    EXPECT_EQ(session.ServerLine(), command);
    session.Server().Write("+OK 40 octets\r\nSubject: dots\r\n\r\n..leading dot\r\n...\r\nlast\r\n.\r\n");
    for (const char* line : {"+OK 40 octets (processed by QX)", "Subject: dots", "", "..leading dot", "...", "last",
                             "."}) {
      EXPECT_EQ(session.ClientLine(), line);
    }
    EXPECT_TRUE(session.status.WaitFor(kDownloading));
    const std::lock_guard lock(session.bridge.Mutex);
    EXPECT_EQ(session.bridge.Lines, (std::vector<std::string>{"Subject: dots", "", ".leading dot", "..", "last"}));
    EXPECT_EQ(session.bridge.Finished, 1);
    EXPECT_EQ(session.bridge.Destroyed, 1);
  }
}

TEST(TPOPProxyCommands, AnERRReplyToRETRIsMarkedAndItsBridgeDroppedUnused) {
  Session session;
  session.StartWithGreeting();
  session.Client().WriteLine("RETR 9");
  EXPECT_EQ(session.ServerLine(), "RETR 9");
  session.Server().Write("-ERR no such message\r\n+OK after\r\n");
  EXPECT_EQ(session.ClientLine(), "-ERR no such message (processed by QX)");
  EXPECT_EQ(session.ClientLine(), "+OK after");  // no handler any more
  const std::lock_guard lock(session.bridge.Mutex);
  EXPECT_EQ(session.bridge.Made, 1);
  EXPECT_EQ(session.bridge.Destroyed, 1);
  EXPECT_EQ(session.bridge.Finished, 0);
  EXPECT_TRUE(session.bridge.Lines.empty());
}

TEST(TPOPProxyCommands, OtherRepliesPassByteForByteIncludingTheirStuffing) {
  Session session;
  session.StartWithGreeting();
  const std::string replies[] = {
      "+OK 2 messages\r\n1 120\r\n2 300\r\n.\r\n",
      "+OK\r\n1 ..odd-uid\r\n2 .x\r\n.\r\n",
      "-ERR not now\r\n",
  };
  for (const char* command : {"LIST", "UIDL", "DELE 1"}) {
    session.Client().WriteLine(command);
    EXPECT_EQ(session.ServerLine(), command);
  }
  std::string all;
  for (const auto& reply : replies) {
    session.Server().Write(reply);
    all += reply;
  }
  std::string received;
  while (received.size() < all.size()) {
    const std::string line = session.ClientLine();
    if (Session::IsNoLine(line)) break;
    received += line + "\r\n";
  }
  EXPECT_EQ(received, all);
}

TEST(TPOPProxyCommands, ABridgeThatFailsEndsTheDownloadWithOneErrorLineAndADroppedClient) {
  struct Case {
    const char* name;
    bool failOnFinish;
    std::string expected;
  };
  const std::string error = "An internal error occurred (\"engine broke\").  Please contact technical support.\r\n";
  const std::vector<Case> cases = {
      {"in a line", false, "+OK (processed by QX)\r\nfirst\r\n" + error},
      {"at the end", true, "+OK (processed by QX)\r\nfirst\r\nsecond\r\nthird\r\n" + error},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session session;
    if (c.failOnFinish) {
      session.bridge.OnFinish = [] { throw std::runtime_error("engine broke"); };
    } else {
      session.bridge.OnLine = [](std::string_view line) {
        if (line == "second") throw std::runtime_error("engine broke");
      };
    }
    session.StartWithGreeting();
    session.Client().WriteLine("RETR 1");
    EXPECT_EQ(session.ServerLine(), "RETR 1");
    session.Server().Write("+OK\r\nfirst\r\nsecond\r\nthird\r\n.\r\n");
    EXPECT_EQ(session.ClientBytesUntilClosed(), c.expected);
    EXPECT_TRUE(session.WaitForEnd());
    EXPECT_EQ(session.ServerBytesUntilClosed(), "");  // the server connection is closed too
    EXPECT_TRUE(session.status.Contains("Dropping connection to 'pop.example.net'"));
  }
}

TEST(TPOPProxyCommands, WhicheverSideClosesFirstIsReportedAndOnlyIt) {
  const std::string serverClosed = "Connection to 'pop.example.net' closed";
  const std::string clientClosed = "Dropping connection to 'pop.example.net'";
  {
    SCOPED_TRACE("the server after QUIT");
    Session session;
    session.StartWithGreeting();
    session.Client().WriteLine("QUIT");
    EXPECT_EQ(session.ServerLine(), "QUIT");
    session.Server().Write("+OK bye\r\n");
    session.Server().Close();
    EXPECT_EQ(session.ClientBytesUntilClosed(), "+OK bye\r\n");
    EXPECT_TRUE(session.WaitForEnd());
    EXPECT_TRUE(session.status.Contains(serverClosed));
    EXPECT_FALSE(session.status.Contains(clientClosed));
  }
  for (bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "the client resets" : "the client closes");
    Session session;
    session.StartWithGreeting();
    if (reset) {
      session.Client().ResetByPeer();
    } else {
      session.Client().Close();
    }
    EXPECT_EQ(session.ServerBytesUntilClosed(), "");
    EXPECT_TRUE(session.WaitForEnd());
    EXPECT_TRUE(session.status.Contains(clientClosed));
    EXPECT_FALSE(session.status.Contains(serverClosed));
  }
}

}  // namespace
