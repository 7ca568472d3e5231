// The day-log reader on arbitrary bytes. It must never throw or crash, keep only whole
// blocks, and every record it returns must survive writing and reading back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "logs/MessageLogDates.h"
#include "logs/MessageLogFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const MessageLogFormat::TDayLogContents contents = MessageLogFormat::ReadDayLog(bytes);
  check(contents.ValidEnd <= size, "the valid part lies inside the file");
  check((contents.ValidEnd == size) == (contents.Damage == MessageLogFormat::TDamage::None),
        "a file is clean exactly when every byte belongs to a whole block");
  check(contents.Records.size() * MessageLogFormat::kRecordBlockSize <= contents.ValidEnd,
        "records fit the file");
  std::string rewritten;
  for (const TMessageLogRecord& record : contents.Records) {
    (void)MessageLogDates::DayText(record.ProcessedDate);  // any stored date names a day
    rewritten += MessageLogFormat::EncodeBlock(MessageLogFormat::kRecordVersion, record.Encode());
  }
  const MessageLogFormat::TDayLogContents reread = MessageLogFormat::ReadDayLog(rewritten);
  check(reread.Damage == MessageLogFormat::TDamage::None && reread.Records.size() == contents.Records.size(),
        "written records read back");
  for (std::size_t i = 0; i < reread.Records.size(); ++i) {
    check(reread.Records[i].Encode() == contents.Records[i].Encode(), "a record reads back byte for byte");
  }
  return 0;
}
