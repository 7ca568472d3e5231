#include "app/filter/TFilterReport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/filter/JsonText.h"
#include "common/TDateTime.h"

namespace {

std::string dateText(TDateTime dateTime) {
  const TDateParts date = DecodeDate(dateTime);
  // The time of day from the fraction, rounded to the second as the log's dates are stored
  // from whole seconds; a NaN or infinite stored value reads as midnight.
  double fraction = dateTime - std::floor(dateTime);
  if (!std::isfinite(fraction)) fraction = 0;
  long seconds = std::lround(fraction * 86400.0);
  if (seconds < 0 || seconds >= 86400) seconds = seconds < 0 ? 0 : 86399;
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02ld:%02ld:%02ld", date.Year, date.Month, date.Day,
                seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

std::string zoneText(std::int32_t signedHHMM) {
  char text[48];
  const long magnitude = std::labs(static_cast<long>(signedHHMM));
  std::snprintf(text, sizeof text, "%c%02ld%02ld", signedHHMM < 0 ? '-' : '+', magnitude / 100 % 100,
                magnitude % 100);
  return text;
}

}  // namespace

std::string FilterReportJson(const TMessageLogRecord& record) {
  std::string json = "{\n";
  json += "  \"profile\": " + JsonString(record.SecurityProfile) + ",\n";
  json += "  \"sender\": " + JsonString(record.Sender) + ",\n";
  json += "  \"subject\": " + JsonString(record.Subject) + ",\n";
  json += "  \"processed\": \"" + dateText(record.ProcessedDate) + "\",\n";
  if (record.MessageDate == 0) {
    json += "  \"date\": null,\n  \"zone\": null,\n";
  } else {
    json += "  \"date\": \"" + dateText(record.MessageDate) + "\",\n";
    json += "  \"zone\": \"" + zoneText(record.MessageDateZone) + "\",\n";
  }
  json += std::string("  \"filtered\": ") + (record.Filtered ? "true" : "false") + ",\n";
  json += "  \"counters\": {";
  for (std::size_t i = 0; i < kMessageLogCounterCount; ++i) {
    json += i == 0 ? "\n" : ",\n";
    json += "    " + JsonString(MessageLogCounterName(static_cast<TMessageLogCounter>(i))) + ": " +
            std::to_string(record.Counters[i]);
  }
  json += "\n  }\n}\n";
  return json;
}
