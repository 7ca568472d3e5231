// The summary-file reader on arbitrary bytes. It must never throw or crash, and the totals
// and day summaries it returns must survive writing and reading back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "logs/MessageLogFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const MessageLogFormat::TSummaryContents contents = MessageLogFormat::ReadSummaryFile(bytes);
  check(contents.ValidEnd <= size, "the valid part lies inside the file");
  std::string rewritten = MessageLogFormat::EncodeTotals(contents.ProcessedTotal, contents.FilteredTotal);
  for (const MessageLogFormat::TSummaryEntry& entry : contents.Summaries) {
    check(entry.Position >= 8 &&
              static_cast<std::size_t>(entry.Position) + MessageLogFormat::kDaySummaryBlockSize <=
                  contents.ValidEnd,
          "a day summary's position lies inside the valid part");
    check(bytes.substr(static_cast<std::size_t>(entry.Position) + 8, 80) == entry.Summary.Encode(),
          "a day summary is exactly the bytes at its position");
    rewritten += MessageLogFormat::EncodeBlock(MessageLogFormat::kDaySummaryVersion, entry.Summary.Encode());
  }
  const MessageLogFormat::TSummaryContents reread = MessageLogFormat::ReadSummaryFile(rewritten);
  check(reread.Damage == MessageLogFormat::TDamage::None &&
            reread.ProcessedTotal == contents.ProcessedTotal &&
            reread.FilteredTotal == contents.FilteredTotal &&
            reread.Summaries.size() == contents.Summaries.size(),
        "a written summary file reads back");
  return 0;
}
