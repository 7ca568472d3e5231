#include "proxy/TBufferedWriteConnection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/TMemoryConnection.h"

namespace {

using namespace std::chrono_literals;

TEST(TBufferedWriteConnection, HoldsSmallWritesUntilFlushAndSendsThemInOrder) {
  auto [near, far] = TMemoryConnection::CreatePair({"127.0.0.1", 1}, {"127.0.0.1", 2});
  TBufferedWriteConnection writer(*near);
  writer.WriteLine("+OK");
  writer.WriteLine("line");
  EXPECT_EQ(far->ReadLine(0ms).Status, TReadStatus::TimedOut);
  writer.Flush();
  EXPECT_EQ(far->ReadLine(1s).Text, "+OK");
  EXPECT_EQ(far->ReadLine(1s).Text, "line");
  writer.Flush();  // nothing left: sends nothing
  EXPECT_EQ(far->ReadLine(0ms).Status, TReadStatus::TimedOut);
}

TEST(TBufferedWriteConnection, AFullBufferGoesOutWithoutFlush) {
  auto [near, far] = TMemoryConnection::CreatePair({"127.0.0.1", 1}, {"127.0.0.1", 2});
  far->SetMaxLineLength(1 << 20);
  TBufferedWriteConnection writer(*near);
  writer.WriteLine("first");
  const std::string big(TBufferedWriteConnection::kFlushSize, 'x');
  writer.WriteLine(big);  // larger than the buffer: the pending line, then this one
  EXPECT_EQ(far->ReadLine(1s).Text, "first");
  EXPECT_EQ(far->ReadLine(1s).Text, big);
  writer.WriteLine("last");
  EXPECT_EQ(far->ReadLine(0ms).Status, TReadStatus::TimedOut);
}

}  // namespace
