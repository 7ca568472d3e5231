#include "logs/TMessageLogRecord.h"

#include <stdexcept>

#include "logs/LittleEndian.h"

namespace {

constexpr std::size_t kProcessedDateAt = 0;
constexpr std::size_t kSecurityProfileAt = 8;
constexpr std::size_t kSenderAt = 40;
constexpr std::size_t kSubjectAt = 113;
constexpr std::size_t kMessageDateAt = 192;
constexpr std::size_t kMessageDateZoneAt = 200;
constexpr std::size_t kFilteredAt = 204;
constexpr std::size_t kCountersAt = 208;

static_assert(kCountersAt + 4 * kMessageLogCounterCount == TMessageLogRecord::kSize);
static_assert(kSubjectAt + 1 + TMessageLogRecord::kSubjectLength <= kMessageDateAt);

constexpr std::array<std::string_view, kMessageLogCounterCount> kCounterNames = {
    "ReadReceiptsBlocked",        "AttachmentsBlocked",
    "AttachmentsRenamed",         "AllHTMLRemoved",
    "NonStandardHTMLRemoved",     "ScriptingRemoved",
    "EmbeddingRemoved",           "ExternalCSSBlocked",
    "UndesiredTagsRemoved",       "AllowedProviderImages",
    "ProviderImagesBlocked",      "ExternalImagesBlocked",
    "ImagesWithVariablesBlocked", "ImagesWithIdentifiersBlocked",
    "ImagesWithCookiesBlocked",   "Images1x1Blocked",
};

}  // namespace

std::string_view MessageLogCounterName(TMessageLogCounter counter) noexcept {
  const auto index = static_cast<std::size_t>(counter);
  return index < kCounterNames.size() ? kCounterNames[index] : std::string_view();
}

bool TMessageLogRecord::HasFilteringCounts() const noexcept {
  for (std::size_t i = 0; i < Counters.size(); ++i) {
    if (i != static_cast<std::size_t>(TMessageLogCounter::AllowedProviderImages) && Counters[i] > 0) {
      return true;
    }
  }
  return false;
}

std::string TMessageLogRecord::Encode() const {
  using namespace MessageLogBytes;
  std::string out(kSize, '\0');
  PutDouble(out, kProcessedDateAt, ProcessedDate);
  PutShortString(out, kSecurityProfileAt, kSecurityProfileLength, SecurityProfile);
  PutShortString(out, kSenderAt, kSenderLength, Sender);
  PutShortString(out, kSubjectAt, kSubjectLength, Subject);
  PutDouble(out, kMessageDateAt, MessageDate);
  PutInt32(out, kMessageDateZoneAt, MessageDateZone);
  out[kFilteredAt] = Filtered ? '\1' : '\0';
  for (std::size_t i = 0; i < Counters.size(); ++i) {
    PutInt32(out, kCountersAt + 4 * i, Counters[i]);
  }
  return out;
}

TMessageLogRecord TMessageLogRecord::Decode(std::string_view bytes) {
  using namespace MessageLogBytes;
  if (bytes.size() != kSize) {
    throw std::invalid_argument("a message log record is 272 bytes");
  }
  TMessageLogRecord record;
  record.ProcessedDate = GetDouble(bytes, kProcessedDateAt);
  record.SecurityProfile = GetShortString(bytes, kSecurityProfileAt, kSecurityProfileLength);
  record.Sender = GetShortString(bytes, kSenderAt, kSenderLength);
  record.Subject = GetShortString(bytes, kSubjectAt, kSubjectLength);
  record.MessageDate = GetDouble(bytes, kMessageDateAt);
  record.MessageDateZone = GetInt32(bytes, kMessageDateZoneAt);
  record.Filtered = bytes[kFilteredAt] != '\0';
  for (std::size_t i = 0; i < record.Counters.size(); ++i) {
    record.Counters[i] = GetInt32(bytes, kCountersAt + 4 * i);
  }
  return record;
}
