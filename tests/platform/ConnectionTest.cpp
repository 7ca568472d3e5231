#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/ESocketError.h"
#include "platform/IConnection.h"
#include "platform/TMemoryConnection.h"
#include "platform/TStopSignal.h"
#include "platform/TTcpConnection.h"
#include "platform/TTcpListener.h"

// What both connection kinds must do alike: the same test body runs over a real loopback
// TCP connection and over the in-memory pair, with the far end driven by the test.
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

// The far end, as plain as possible: for TCP a raw socket, so that a reset is a real RST.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual void Send(const std::string& bytes) = 0;
  virtual void Close() = 0;
  virtual void Reset() = 0;
};

class SocketPeer final : public Peer {
 public:
  explicit SocketPeer(int fd) : fd_(fd) {}
  ~SocketPeer() override { Close(); }
  void Send(const std::string& bytes) override {
    std::size_t at = 0;
    while (at < bytes.size()) {
      const ssize_t sent = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      ASSERT_GT(sent, 0) << "send: " << std::strerror(errno);
      at += static_cast<std::size_t>(sent);
    }
  }
  void Close() override {
    if (fd_ >= 0) {
      ::close(std::exchange(fd_, -1));
    }
  }
  void Reset() override {
    const linger abort{1, 0};  // close with RST instead of FIN
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Close();
  }

 private:
  int fd_;
};

class MemoryPeer final : public Peer {
 public:
  explicit MemoryPeer(std::unique_ptr<TMemoryConnection> end) : end_(std::move(end)) {}
  void Send(const std::string& bytes) override { end_->Write(bytes); }
  void Close() override { end_->Close(); }
  void Reset() override { end_->ResetByPeer(); }

 private:
  std::unique_ptr<TMemoryConnection> end_;
};

enum class Transport { Tcp, Memory };

class ConnectionTest : public testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    if (GetParam() == Transport::Memory) {
      auto [first, second] = TMemoryConnection::CreatePair();
      connection_ = std::move(first);
      peer_ = std::make_unique<MemoryPeer>(std::move(second));
    } else {
      listener_ = std::make_unique<TTcpListener>("127.0.0.1", 0);
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      ASSERT_GE(fd, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(listener_->Address().Port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
      peer_ = std::make_unique<SocketPeer>(fd);
      connection_ = listener_->Accept(5s);
      ASSERT_NE(connection_, nullptr);
    }
    connection_->SetDisconnectHandler([this](TDisconnectReason reason) {
      const std::lock_guard lock(mutex_);
      reasons_.push_back(reason);
    });
  }

  std::vector<TDisconnectReason> Reasons() {
    const std::lock_guard lock(mutex_);
    return reasons_;
  }

  std::unique_ptr<TTcpListener> listener_;
  std::unique_ptr<IConnection> connection_;
  std::unique_ptr<Peer> peer_;
  std::mutex mutex_;
  std::vector<TDisconnectReason> reasons_;
};

INSTANTIATE_TEST_SUITE_P(Transports, ConnectionTest, testing::Values(Transport::Tcp, Transport::Memory),
                         [](const auto& info) { return info.param == Transport::Tcp ? "Tcp" : "Memory"; });

struct Read {
  TReadStatus status;
  std::string text;
  friend bool operator==(const Read&, const Read&) = default;
};

std::ostream& operator<<(std::ostream& out, const Read& read) {
  return out << static_cast<int>(read.status) << ':' << testing::PrintToString(read.text);
}

Read ReadOne(IConnection& connection, std::chrono::milliseconds timeout = 5s) {
  TReadResult result = connection.ReadLine(timeout);
  return {result.Status, std::move(result.Text)};
}

TEST_P(ConnectionTest, LinesPassByteForByteAndAnOrderlyCloseEndsThem) {
  peer_->Send("+OK ready\r\nnul \0 lone \r cr\n\xe9t\xe9\r\nno line end"s);
  peer_->Close();
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, "+OK ready"}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, "nul \0 lone \r cr"s}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, "\xe9t\xe9"}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Unterminated, "no line end"}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Closed, ""}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Closed, ""}));
  EXPECT_EQ(Reasons(), std::vector{TDisconnectReason::PeerClosed});
}

TEST_P(ConnectionTest, AResetIsReportedAsResetNotAsClose) {
  peer_->Send("+OK\r\n");
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, "+OK"}));
  peer_->Reset();
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Reset, ""}));
  EXPECT_EQ(Reasons(), std::vector{TDisconnectReason::PeerReset});
}

TEST_P(ConnectionTest, ATimeOutKeepsThePartOfTheLineThatArrived) {
  peer_->Send("par");
  const auto start = Clock::now();
  EXPECT_EQ(ReadOne(*connection_, 150ms), (Read{TReadStatus::TimedOut, ""}));
  EXPECT_GE(Clock::now() - start, 150ms);
  peer_->Send("tial\r\n");
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, "partial"}));
  EXPECT_TRUE(Reasons().empty());
}

TEST_P(ConnectionTest, LongLinesArriveInPiecesOfTheMaximum) {
  connection_->SetMaxLineLength(262144);
  std::thread sender([this] { peer_->Send(std::string(300000, 'x') + "\r\n.\r\n"); });
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Split, std::string(262144, 'x')}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, std::string(300000 - 262144, 'x')}));
  EXPECT_EQ(ReadOne(*connection_), (Read{TReadStatus::Line, "."}));
  sender.join();
}

// A server that sends one byte a second never completes a line, so it must not hold a
// read beyond its time-out, and a stop must get through within a second even in a read
// with a long time-out.
TEST_P(ConnectionTest, ASlowPeerHoldsNoReadAndAStopGetsThroughWithinASecond) {
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    while (!done) {
      peer_->Send("x");
      for (int i = 0; i < 20 && !done; ++i) {
        std::this_thread::sleep_for(50ms);
      }
    }
  });
  TStopSignal stop;
  connection_->SetStopSignal(&stop);
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    EXPECT_EQ(ReadOne(*connection_, 500ms).status, TReadStatus::TimedOut);
    EXPECT_LT(Clock::now() - start, 1s);
  }
  std::thread stopper([&] {
    std::this_thread::sleep_for(1200ms);
    stop.Request();
  });
  const auto start = Clock::now();
  EXPECT_EQ(ReadOne(*connection_, 60s).status, TReadStatus::Stopped);
  EXPECT_LT(Clock::now() - start, 1200ms + 1s);
  stopper.join();
  done = true;
  trickle.join();
}

TEST_P(ConnectionTest, CloseFromAnotherThreadEndsABlockedReadAndLaterWrites) {
  std::thread closer([this] {
    std::this_thread::sleep_for(200ms);
    connection_->Close();
  });
  const auto start = Clock::now();
  EXPECT_EQ(ReadOne(*connection_, 10s).status, TReadStatus::Closed);
  EXPECT_LT(Clock::now() - start, 1s);
  closer.join();
  EXPECT_FALSE(connection_->IsConnected());
  try {
    connection_->Write("+OK\r\n");
    ADD_FAILURE() << "a write after Close() went through";
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.Kind(), TSocketErrorKind::Closed) << error.what();
  }
  connection_->Close();  // a second close is harmless and notifies nobody
  EXPECT_EQ(Reasons(), std::vector{TDisconnectReason::LocalClose});
}

TEST_P(ConnectionTest, WritingToAPeerThatHasGoneFailsAsClosedOrReset) {
  peer_->Close();
  const auto deadline = Clock::now() + 5s;
  std::optional<TSocketErrorKind> kind;
  while (!kind && Clock::now() < deadline) {
    try {
      connection_->WriteLine("+OK line for nobody");
      std::this_thread::sleep_for(10ms);
    } catch (const ESocketError& error) {
      kind = error.Kind();
    }
  }
  ASSERT_TRUE(kind.has_value()) << "writes to a closed peer kept succeeding";
  EXPECT_TRUE(*kind == TSocketErrorKind::Closed || *kind == TSocketErrorKind::Reset) << static_cast<int>(*kind);
  ASSERT_EQ(Reasons().size(), 1U);
  EXPECT_NE(Reasons()[0], TDisconnectReason::LocalClose);
}

}  // namespace
