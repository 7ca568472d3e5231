#pragma once

#include <string>

#include "app/daemon/QuorixOptions.h"

// Every start of quorix but the account command: the single-instance check first (a second
// copy asks the first to come forward and exits 1, whatever its arguments), then
// `usageError` (exit 2), then the windowed program (not built yet: exit 2) or the headless
// daemon, which runs until SIGTERM or SIGINT and then exits 0.
[[nodiscard]] int RunHeadless(const TQuorixOptions& options, const std::string& usageError);
