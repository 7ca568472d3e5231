#pragma once

#include <string>

#include "logs/TMessageLogRecord.h"

// The message log record of one filtered message as one JSON object (with a closing line
// break): "profile", "sender", "subject", "processed", "date" and "zone" (null when the
// message had no date), "filtered", and "counters" with every counter by its field name.
// Dates are the local time of their zone, "YYYY-MM-DDTHH:MM:SS"; the zone is "+HHMM".
[[nodiscard]] std::string FilterReportJson(const TMessageLogRecord& record);
