#pragma once

#include <string>
#include <utility>

// The outcome of a change to the message logs. Logging must never cost mail, so failures
// come back as values, not exceptions: the caller goes on delivering and may show Reason.
struct [[nodiscard]] TMessageLogResult {
  bool Ok = true;
  std::string Reason;  // what failed and why; empty when Ok

  [[nodiscard]] static TMessageLogResult Success() { return {}; }
  [[nodiscard]] static TMessageLogResult Failure(std::string reason) { return {false, std::move(reason)}; }
  explicit operator bool() const noexcept { return Ok; }
};
