#include "config/Globals.h"

int SummaryPeriodDays(int index) noexcept {
  if (index < 0 || index >= static_cast<int>(SummaryPeriodLengths.size())) {
    return 0;
  }
  return SummaryPeriodLengths[static_cast<std::size_t>(index)];
}
