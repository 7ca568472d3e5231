#include "logs/MessageLogFormat.h"

#include "logs/LittleEndian.h"

namespace MessageLogFormat {
namespace {

using MessageLogBytes::GetInt32;

// Walks the blocks of bytes[begin..], calling onBlock(version, data, fileOffsetOfHeader) for
// every whole block; `base` is the file offset of bytes[0].
template <typename OnBlock>
void WalkBlocks(std::string_view bytes, std::size_t begin, std::size_t base, std::int32_t ourVersion,
                std::size_t ourSize, TBlockWalk& walk, OnBlock onBlock) {
  std::size_t at = begin;
  walk.ValidEnd = base + at;
  while (at < bytes.size()) {
    const std::size_t left = bytes.size() - at;
    const std::size_t fileOffset = base + at;
    if (left < kBlockHeaderSize) {
      walk.Damage = TDamage::CutShort;
      walk.Detail = "the block at offset " + std::to_string(fileOffset) + " stops after " +
                    std::to_string(left) + " of its 8 header bytes";
      return;
    }
    const std::int32_t version = GetInt32(bytes, at);
    const std::int32_t size = GetInt32(bytes, at + 4);
    if (size < 0) {
      walk.Damage = TDamage::Damaged;
      walk.Detail = "the block at offset " + std::to_string(fileOffset) + " has the impossible size " +
                    std::to_string(size);
      return;
    }
    const auto dataSize = static_cast<std::size_t>(size);
    if (dataSize > left - kBlockHeaderSize) {
      const bool ours = version == ourVersion && dataSize == ourSize;
      walk.Damage = ours ? TDamage::CutShort : TDamage::Damaged;
      walk.Detail = "the block at offset " + std::to_string(fileOffset) + " (version " +
                    std::to_string(version) + ", size " + std::to_string(size) +
                    ") runs past the end of the file, " + std::to_string(left - kBlockHeaderSize) +
                    " data bytes are there";
      return;
    }
    if (version == ourVersion && dataSize == ourSize) {
      onBlock(bytes.substr(at + kBlockHeaderSize, dataSize), fileOffset);
    }
    at += kBlockHeaderSize + dataSize;
    walk.ValidEnd = base + at;
  }
}

}  // namespace

TDayLogContents ReadDayLog(std::string_view bytes, std::size_t startOffset) {
  TDayLogContents contents;
  WalkBlocks(bytes, 0, startOffset, kRecordVersion, TMessageLogRecord::kSize, contents,
             [&](std::string_view data, std::size_t) {
               contents.Records.push_back(TMessageLogRecord::Decode(data));
             });
  return contents;
}

TSummaryContents ReadSummaryFile(std::string_view bytes) {
  TSummaryContents contents;
  if (bytes.empty()) {
    contents.ValidEnd = 0;
    return contents;
  }
  if (bytes.size() < kTotalsSize) {
    contents.Damage = TDamage::Damaged;
    contents.Detail =
        "the file has " + std::to_string(bytes.size()) + " bytes, fewer than the 8 bytes of its totals";
    return contents;
  }
  contents.ProcessedTotal = GetInt32(bytes, 0);
  contents.FilteredTotal = GetInt32(bytes, 4);
  WalkBlocks(bytes, kTotalsSize, 0, kDaySummaryVersion, TMessageLogDaySummary::kSize, contents,
             [&](std::string_view data, std::size_t offset) {
               contents.Summaries.push_back(
                   TSummaryEntry{TMessageLogDaySummary::Decode(data), static_cast<std::int64_t>(offset)});
             });
  return contents;
}

std::string EncodeBlock(std::int32_t version, std::string_view data) {
  std::string out(kBlockHeaderSize, '\0');
  MessageLogBytes::PutInt32(out, 0, version);
  MessageLogBytes::PutInt32(out, 4, static_cast<std::int32_t>(data.size()));
  out.append(data);
  return out;
}

std::string EncodeTotals(std::int32_t processed, std::int32_t filtered) {
  std::string out(kTotalsSize, '\0');
  MessageLogBytes::PutInt32(out, 0, processed);
  MessageLogBytes::PutInt32(out, 4, filtered);
  return out;
}

}  // namespace MessageLogFormat
