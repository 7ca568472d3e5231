#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/TLineBuffer.h"

class TStopSignal;

// An IPv4 end point as dotted text and port.
struct TSocketAddress {
  std::string Ip;
  std::uint16_t Port = 0;
  friend bool operator==(const TSocketAddress&, const TSocketAddress&) = default;
};

// The outcome of one line read. Only the first three carry text.
enum class TReadStatus {
  Line,          // a whole line, its line end removed
  Split,         // a piece of a line longer than the maximum; more of the line follows
  Unterminated,  // the last bytes before the peer closed, without a line end
  TimedOut,      // nothing complete arrived in time; bytes of a partial line are kept
  Closed,        // the peer closed (or we did) and everything it sent has been read
  Reset,         // the peer reset the connection
  Stopped,       // the stop signal was raised
};

struct TReadResult {
  TReadStatus Status = TReadStatus::TimedOut;
  std::string Text;
  [[nodiscard]] bool HasText() const noexcept {
    return Status == TReadStatus::Line || Status == TReadStatus::Split || Status == TReadStatus::Unterminated;
  }
};

enum class TDisconnectReason {
  PeerClosed,  // an orderly close by the peer, seen by a read (or a write that hit EPIPE)
  PeerReset,   // the peer reset the connection
  LocalClose,  // Close() on this end
};

// One byte stream with line reads, as a POP3 session needs it on both of its sides. The
// TCP connection implements it over a socket, a TLS connection over OpenSSL, the memory
// pair for tests without a network. A session's two threads use one connection at once:
// one reads, the other writes, and either may Close() it; that is all the locking needed.
class IConnection {
 public:
  using TDisconnectHandler = std::function<void(TDisconnectReason)>;

  static constexpr std::size_t kDefaultMaxLineLength = 0x40000;
  static constexpr std::chrono::milliseconds kDefaultWriteTimeout{std::chrono::seconds(120)};
  // A wait longer than this is cut into slices, so a stop request is noticed within it even
  // if the stop signal's wake-up were lost.
  static constexpr std::chrono::milliseconds kStopCheckInterval{500};

  virtual ~IConnection() = default;
  IConnection() = default;
  IConnection(const IConnection&) = delete;
  IConnection& operator=(const IConnection&) = delete;

  // Reads the next line or piece (TLineBuffer says how lines are cut), waiting at most
  // `timeout` for the whole of it: a peer that sends one byte a second cannot hold a read
  // longer than its time-out. Unexpected socket errors throw ESocketError; closing and
  // resetting are statuses, because they are how ordinary sessions end.
  [[nodiscard]] virtual TReadResult ReadLine(std::chrono::milliseconds timeout) = 0;

  // Sends all of `bytes`, waiting while the peer's window is full, at most the write
  // time-out in all. Throws ESocketError: Closed (also after Close()), Reset, TimedOut,
  // Stopped, or another kind.
  virtual void Write(std::string_view bytes) = 0;
  void WriteLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    Write(line);
  }

  // Sends what Write has collected so far. Connections that send at once (all of the
  // platform's) have nothing to do; a buffering wrapper overrides it.
  virtual void Flush() {}
  // Shuts both directions down; a read or write blocked in another thread returns at once.
  // Idempotent, never throws.
  virtual void Close() noexcept = 0;
  [[nodiscard]] virtual bool IsConnected() const noexcept = 0;

  [[nodiscard]] virtual TSocketAddress LocalAddress() const = 0;
  [[nodiscard]] virtual TSocketAddress PeerAddress() const = 0;

  virtual void SetMaxLineLength(std::size_t maxLineLength) = 0;
  virtual void SetWriteTimeout(std::chrono::milliseconds timeout) = 0;
  // Borrowed; must outlive the connection's calls. Once it is raised, reads return Stopped
  // and a write that has to wait for the peer gives up with Stopped (one that fits into the
  // socket buffer still goes out: a session that is stopping may still say goodbye).
  virtual void SetStopSignal(const TStopSignal* stop) = 0;
  // Called once, on the thread that notices it, when the connection ends for the first time
  // (peer closed, peer reset or Close()). It may call Close() on this connection. Set it
  // before the connection is shared between threads.
  virtual void SetDisconnectHandler(TDisconnectHandler handler) = 0;

  // "" for a plain connection; for an encrypted one the protocol and cipher, as
  // "TLSv1.3, TLS_AES_256_GCM_SHA384".
  [[nodiscard]] virtual std::string SecurityDescription() const { return {}; }
};
