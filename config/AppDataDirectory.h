#pragma once

#include <string>

// The per-user application data folder without a trailing separator: $XDG_DATA_HOME, or
// ~/.local/share when that is unset or not absolute.
[[nodiscard]] std::string getAppDataDirectory();

// getAppDataDirectory() + "/Vantorell/Quorix": the program's own data folder (message logs
// live in its "logs" subfolder by default).
[[nodiscard]] std::string getApplicationAppDataDirectory();
