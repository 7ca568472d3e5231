#pragma once

#include <memory>
#include <utility>

#include "platform/TConnectionBase.h"

// Two connected ends in memory, for tests of session logic without a network and for
// fuzzing the line reader. What one end writes the other reads, one write as one chunk (as
// a socket may deliver it), so chunk boundaries fall where the writer put them.
// Close() on one end lets the other read what is left and then Closed; ResetByPeer() makes
// the other end see Reset at once. Both ends may be used from different threads.
class TMemoryConnection final : public TConnectionBase {
 public:
  struct TShared;

  // The first end's local address is the second's peer address and the reverse.
  [[nodiscard]] static std::pair<std::unique_ptr<TMemoryConnection>, std::unique_ptr<TMemoryConnection>> CreatePair(
      TSocketAddress firstLocal = {"127.0.0.1", 1}, TSocketAddress secondLocal = {"127.0.0.1", 2});

  TMemoryConnection(std::shared_ptr<TShared> shared, int side);
  ~TMemoryConnection() override;

  [[nodiscard]] TReadResult ReadLine(std::chrono::milliseconds timeout) override;
  void Write(std::string_view bytes) override;
  void Close() noexcept override;
  [[nodiscard]] bool IsConnected() const noexcept override;
  [[nodiscard]] TSocketAddress LocalAddress() const override;
  [[nodiscard]] TSocketAddress PeerAddress() const override;

  // This end goes away as a reset socket does: the peer's reads return Reset and its writes
  // throw Reset. This end counts as closed.
  void ResetByPeer() noexcept;

 private:
  std::shared_ptr<TShared> shared_;
  int side_;
};
