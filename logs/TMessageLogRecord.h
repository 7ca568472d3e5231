#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/TDateTime.h"

// The 16 counters of a logged message, in file order; the index is also the position of the
// counter's sum in a day summary.
enum class TMessageLogCounter : std::size_t {
  ReadReceiptsBlocked = 0,
  AttachmentsBlocked,
  AttachmentsRenamed,
  AllHTMLRemoved,
  NonStandardHTMLRemoved,
  ScriptingRemoved,
  EmbeddingRemoved,
  ExternalCSSBlocked,
  UndesiredTagsRemoved,
  AllowedProviderImages,
  ProviderImagesBlocked,
  ExternalImagesBlocked,
  ImagesWithVariablesBlocked,
  ImagesWithIdentifiersBlocked,
  ImagesWithCookiesBlocked,
  Images1x1Blocked,
};

inline constexpr std::size_t kMessageLogCounterCount = 16;

// The field name of each counter, for reports that list them by name.
[[nodiscard]] std::string_view MessageLogCounterName(TMessageLogCounter counter) noexcept;

// One processed message as the day log keeps it. In memory the strings are ordinary strings;
// Encode writes the fixed 272-byte layout of the files (strings longer than their field are
// cut there, never in the middle of a UTF-8 sequence).
class TMessageLogRecord {
 public:
  static constexpr std::size_t kSize = 272;
  static constexpr std::size_t kSecurityProfileLength = 31;
  static constexpr std::size_t kSenderLength = 72;
  static constexpr std::size_t kSubjectLength = 72;

  TDateTime ProcessedDate = 0;
  std::string SecurityProfile;
  std::string Sender;
  std::string Subject;
  TDateTime MessageDate = 0;         // 0 when the message has no date
  std::int32_t MessageDateZone = 0;  // signed HHMM, for example -500
  bool Filtered = false;
  std::array<std::int32_t, kMessageLogCounterCount> Counters{};

  [[nodiscard]] std::int32_t& operator[](TMessageLogCounter counter) noexcept {
    return Counters[static_cast<std::size_t>(counter)];
  }
  [[nodiscard]] std::int32_t operator[](TMessageLogCounter counter) const noexcept {
    return Counters[static_cast<std::size_t>(counter)];
  }

  // Whether any counter that stands for a change is above 0 (kept images of allowed
  // providers are no change).
  [[nodiscard]] bool HasFilteringCounts() const noexcept;

  // The 272 bytes of the record.
  [[nodiscard]] std::string Encode() const;
  // The record in `bytes`, which must hold exactly kSize bytes; any bytes are accepted.
  [[nodiscard]] static TMessageLogRecord Decode(std::string_view bytes);

  friend bool operator==(const TMessageLogRecord&, const TMessageLogRecord&) = default;
};
