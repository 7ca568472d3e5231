#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/TStatusQueue.h"

namespace {

using namespace std::chrono_literals;

constexpr int kThreads = 16;
constexpr int kPerThread = 2000;
constexpr std::size_t kTotal = std::size_t{kThreads} * kPerThread;

// Sixteen session threads push while the UI thread drains; every message must arrive once,
// in the order its thread pushed it. With a small capacity, what is missing is exactly
// what the count lines report.
TEST(StatusQueue, SixteenThreadsLoseNothingButWhatTheCountLinesReport) {
  for (const std::size_t capacity : {kTotal, std::size_t{50}}) {
    TStatusQueue queue(capacity);
    std::atomic<int> wakeUps{0};
    queue.SetWakeUp([&] { ++wakeUps; });
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < kPerThread; ++i) {
          queue.Push(TStatusKind::Information, std::to_string(t) + " " + std::to_string(i));
        }
        --running;
      });
    }
    std::vector<int> next(kThreads, 0);
    std::size_t received = 0;
    std::size_t dropped = 0;
    const auto drain = [&] {
      for (const TStatusMessage& message : queue.Drain()) {
        if (message.Kind == TStatusKind::Warning) {
          dropped += std::stoul(message.Text);
          EXPECT_EQ(message.Text, TStatusQueue::DroppedText(std::stoul(message.Text)));
          continue;
        }
        const auto space = message.Text.find(' ');
        const int thread = std::stoi(message.Text.substr(0, space));
        const int sequence = std::stoi(message.Text.substr(space + 1));
        EXPECT_GT(sequence, next[thread] - 1) << "out of order: " << message.Text;
        next[thread] = sequence + 1;
        ++received;
      }
    };
    while (running > 0) {
      if (queue.WaitForMessages(10ms)) {
        drain();
      }
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
    drain();
    EXPECT_EQ(received + dropped, kTotal) << "capacity " << capacity;
    if (capacity >= kTotal) {
      EXPECT_EQ(dropped, 0U);
      EXPECT_EQ(next, std::vector<int>(kThreads, kPerThread));
    }
    EXPECT_GT(wakeUps, 0);
  }
}

TEST(StatusQueue, AFloodIsCutAtTheCapacityAndCountedOnce) {
  TStatusQueue queue(3);
  const auto before = std::chrono::system_clock::now();
  for (int i = 0; i < 10; ++i) {
    queue.Push(i == 0 ? TStatusKind::Error : TStatusKind::Information, "line " + std::to_string(i));
  }
  const std::vector<TStatusMessage> drained = queue.Drain();
  ASSERT_EQ(drained.size(), 4U);
  EXPECT_EQ(drained[0].Kind, TStatusKind::Error);
  EXPECT_EQ(drained[0].Text, "line 0");
  EXPECT_GE(drained[0].Time, before);
  EXPECT_EQ(drained[2].Text, "line 2");
  EXPECT_EQ(drained[3].Kind, TStatusKind::Warning);
  EXPECT_EQ(drained[3].Text, "7 status messages were dropped because they came faster than they could be shown");
  EXPECT_TRUE(queue.Drain().empty());
  EXPECT_FALSE(queue.WaitForMessages(1ms));
  queue.Push(TStatusKind::Warning, "after the flood");
  ASSERT_EQ(queue.Drain().size(), 1U);
}

}  // namespace
