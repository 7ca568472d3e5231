#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy/TCAPAResponseHandler.h"
#include "proxy/TPOPMultiLineResponseHandler.h"
#include "tests/support/RecordingConnection.h"

namespace {

// Keeps the body lines it is given and writes them back through OutputNonResultLine.
class EchoHandler final : public TPOPMultiLineResponseHandler {
 public:
  using TPOPMultiLineResponseHandler::TPOPMultiLineResponseHandler;
  std::vector<std::string> lines;

 protected:
  bool ProcessNonResultLine(std::string_view line) override {
    lines.emplace_back(line);
    OutputNonResultLine(line);
    return false;
  }
};

struct Ends {
  std::string Received() const { return client.written; }
  RecordingConnection client;
  RecordingConnection* proxy = &client;
};

TEST(OutputNonResultLine, CutsAtCRLFAndStuffsEveryPiece) {
  struct Case {
    std::string text;
    std::string wire;
  };
  const std::vector<Case> cases = {
      {"", "\r\n"},
      {"plain", "plain\r\n"},
      {"a\r\nb", "a\r\nb\r\n"},
      {"a\r\n", "a\r\n\r\n"},
      {".", "..\r\n"},
      {".x\r\n.y\r\nz", "..x\r\n..y\r\nz\r\n"},
      {"lone\rcr\nlf", "lone\rcr\nlf\r\n"},
      {std::string("nul\0\xff", 5), std::string("nul\0\xff\r\n", 7)},
  };
  for (const Case& c : cases) {
    Ends ends;
    EchoHandler handler(*ends.proxy);
    handler.OutputNonResultLine(c.text);
    EXPECT_EQ(ends.Received(), c.wire) << testing::PrintToString(c.text);
  }
}

TEST(TPOPMultiLineResponseHandler, APieceOfAnOverLongLineIsNeverTheTerminatorNorStuffed) {
  Ends ends;
  EchoHandler handler(*ends.proxy);
  EXPECT_FALSE(handler.ProcessLine("+OK"));
  const std::string longStart(TPOPMultiLineResponseHandler::kMaxJoinedLineLength, 'a');
  // Past the joining limit the rest of the line is handed on as a line of its own; a rest
  // "." must not end the reply, nor ".x" lose its dot.
  EXPECT_FALSE(handler.ProcessPiece(longStart, false));
  EXPECT_FALSE(handler.ProcessPiece(".", true));
  EXPECT_FALSE(handler.ProcessPiece(longStart, false));
  EXPECT_FALSE(handler.ProcessPiece(".x", true));
  // Pieces below the limit are joined into one line, whose first piece decides about dots.
  EXPECT_FALSE(handler.ProcessPiece("..jo", false));
  EXPECT_FALSE(handler.ProcessPiece("ined", true));
  EXPECT_TRUE(handler.ProcessLine("."));
  EXPECT_EQ(handler.lines, (std::vector<std::string>{longStart, ".", longStart, ".x", ".joined"}));
  EXPECT_EQ(ends.Received(),
            "+OK\r\n" + longStart + "\r\n..\r\n" + longStart + "\r\n..x\r\n..joined\r\n.\r\n");
}

TEST(TCAPAResponseHandler, KeepsUnfilteredLinesAsTheyAreAndStuffsALeadingDot) {
  Ends ends;
  TCAPAResponseHandler handler(*ends.proxy);
  for (const char* line : {"-ERR no capabilities"}) {
    EXPECT_TRUE(handler.ProcessLine(line));
  }
  TCAPAResponseHandler list(*ends.proxy);
  for (const char* line : {"+OK", "pipelining", "Stls", "STLS extra", "PIPELININGX", "..odd", "IMPLEMENTATION x y"}) {
    EXPECT_FALSE(list.ProcessLine(line));
  }
  EXPECT_TRUE(list.ProcessLine("."));
  EXPECT_EQ(ends.Received(),
            "-ERR no capabilities (processed by QX)\r\n+OK (processed by QX)\r\nPIPELININGX\r\n..odd\r\n"
            "IMPLEMENTATION x y\r\n.\r\n");
}

}  // namespace
