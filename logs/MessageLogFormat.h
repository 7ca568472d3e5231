#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "logs/TMessageLogDaySummary.h"
#include "logs/TMessageLogRecord.h"

// Reading the two file kinds from their bytes. Both are sequences of blocks (version, size,
// size bytes); a block of another version or size is skipped by its size. Readers never
// throw on content: they keep what they can read and say where and how the rest is wrong.
namespace MessageLogFormat {

inline constexpr std::int32_t kRecordVersion = 1;
inline constexpr std::int32_t kDaySummaryVersion = 1;
inline constexpr std::size_t kBlockHeaderSize = 8;
inline constexpr std::size_t kRecordBlockSize = kBlockHeaderSize + TMessageLogRecord::kSize;
inline constexpr std::size_t kDaySummaryBlockSize = kBlockHeaderSize + TMessageLogDaySummary::kSize;
inline constexpr std::size_t kTotalsSize = 8;

enum class TDamage {
  None,
  // The last block stops early, as after a writer was killed while appending: everything
  // before it is sound, and the next append replaces it.
  CutShort,
  // A block header that cannot be right (negative size, or a size past the end of the file
  // in a block that is not ours): nothing past it can be found.
  Damaged,
};

struct TBlockWalk {
  TDamage Damage = TDamage::None;
  std::size_t ValidEnd = 0;  // the offset just after the last whole block
  std::string Detail;        // what is wrong, for the reader's report; empty when nothing is
};

struct TDayLogContents : TBlockWalk {
  std::vector<TMessageLogRecord> Records;
};

struct TSummaryEntry {
  TMessageLogDaySummary Summary;
  std::int64_t Position = -1;  // offset of its block header in the file; -1 = not yet written
};

struct TSummaryContents : TBlockWalk {
  std::int32_t ProcessedTotal = 0;
  std::int32_t FilteredTotal = 0;
  std::vector<TSummaryEntry> Summaries;
};

// The records of a day log held in `bytes`, whose offset 0 lies at `startOffset` in the file
// (ValidEnd and the offsets in Detail are file offsets).
[[nodiscard]] TDayLogContents ReadDayLog(std::string_view bytes, std::size_t startOffset = 0);

// The totals and day summaries of a summary file. An empty file reads as zero totals; one
// shorter than the totals is Damaged.
[[nodiscard]] TSummaryContents ReadSummaryFile(std::string_view bytes);

// One block as written: version, size and the data.
[[nodiscard]] std::string EncodeBlock(std::int32_t version, std::string_view data);

[[nodiscard]] std::string EncodeTotals(std::int32_t processed, std::int32_t filtered);

}  // namespace MessageLogFormat
