#include "logs/TMessageLogDaySummary.h"

#include <algorithm>
#include <stdexcept>

#include "logs/LittleEndian.h"

namespace {

constexpr std::size_t kStatisticsAt = 8;
constexpr std::size_t kFilteredAt = 72;
constexpr std::size_t kProcessedAt = 76;
constexpr auto kNotSummed = static_cast<std::size_t>(TMessageLogCounter::AllowedProviderImages);

}  // namespace

void TMessageLogDaySummary::AddRecord(const TMessageLogRecord& record, bool filtered) noexcept {
  using MessageLogBytes::SaturatingAdd;
  for (std::size_t i = 0; i < Statistics.size(); ++i) {
    if (i != kNotSummed) {
      Statistics[i] = SaturatingAdd(Statistics[i], std::max<std::int32_t>(record.Counters[i], 0));
    }
  }
  Processed = SaturatingAdd(Processed, 1);
  if (filtered) {
    Filtered = SaturatingAdd(Filtered, 1);
  }
}

void TMessageLogDaySummary::Add(const TMessageLogDaySummary& other) noexcept {
  using MessageLogBytes::SaturatingAdd;
  for (std::size_t i = 0; i < Statistics.size(); ++i) {
    Statistics[i] = SaturatingAdd(Statistics[i], other.Statistics[i]);
  }
  Filtered = SaturatingAdd(Filtered, other.Filtered);
  Processed = SaturatingAdd(Processed, other.Processed);
}

std::string TMessageLogDaySummary::Encode() const {
  using namespace MessageLogBytes;
  std::string out(kSize, '\0');
  PutDouble(out, 0, Date);
  for (std::size_t i = 0; i < Statistics.size(); ++i) {
    PutInt32(out, kStatisticsAt + 4 * i, Statistics[i]);
  }
  PutInt32(out, kFilteredAt, Filtered);
  PutInt32(out, kProcessedAt, Processed);
  return out;
}

TMessageLogDaySummary TMessageLogDaySummary::Decode(std::string_view bytes) {
  using namespace MessageLogBytes;
  if (bytes.size() != kSize) {
    throw std::invalid_argument("a message log day summary is 80 bytes");
  }
  TMessageLogDaySummary summary;
  summary.Date = GetDouble(bytes, 0);
  for (std::size_t i = 0; i < summary.Statistics.size(); ++i) {
    summary.Statistics[i] = GetInt32(bytes, kStatisticsAt + 4 * i);
  }
  summary.Filtered = GetInt32(bytes, kFilteredAt);
  summary.Processed = GetInt32(bytes, kProcessedAt);
  return summary;
}
