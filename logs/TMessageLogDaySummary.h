#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/TDateTime.h"
#include "logs/TMessageLogRecord.h"

// The sums of one day's records (80 bytes in the summary file). getStats returns the same
// shape for a range of days, with the date left 0. All counts stop at the largest int32
// instead of wrapping.
class TMessageLogDaySummary {
 public:
  static constexpr std::size_t kSize = 80;

  TDateTime Date = 0;  // a whole day
  std::array<std::int32_t, kMessageLogCounterCount> Statistics{};
  std::int32_t Filtered = 0;
  std::int32_t Processed = 0;

  [[nodiscard]] std::int32_t operator[](TMessageLogCounter counter) const noexcept {
    return Statistics[static_cast<std::size_t>(counter)];
  }

  // Counts one record of the day: its counters (not AllowedProviderImages, whose slot stays
  // 0; negative counters add nothing), processed and, if `filtered`, filtered.
  void AddRecord(const TMessageLogRecord& record, bool filtered) noexcept;
  // Adds another summary's statistics and counts (the date stays).
  void Add(const TMessageLogDaySummary& other) noexcept;

  [[nodiscard]] std::string Encode() const;
  // `bytes` must hold exactly kSize bytes; any bytes are accepted.
  [[nodiscard]] static TMessageLogDaySummary Decode(std::string_view bytes);

  friend bool operator==(const TMessageLogDaySummary&, const TMessageLogDaySummary&) = default;
};
