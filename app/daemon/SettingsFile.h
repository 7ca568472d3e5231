#pragma once

#include <filesystem>
#include <string>

#include "config/TApplicationState.h"
#include "config/TConfigRef.h"

// The settings file as the daemon and the account command use it. Every call reads the file
// afresh (a new store each time): the daemon runs for days while `quorix account` changes
// the file under it, and writing back what was read at start-up would undo those changes.
namespace SettingsFile {

// The file named on the command line, else $QUORIX_REGISTRY, else the user's default. Under
// sudo without either, the default of the user who ran sudo, whose settings are meant.
[[nodiscard]] std::filesystem::path Choose(const std::string* commandLineFile);

// The configuration in `file` with the built-in profiles ensured, or null with `error` saying
// what is wrong with which file (a missing file is a fresh installation, not an error).
[[nodiscard]] TConfigRef LoadConfig(const std::filesystem::path& file, std::string& error);
// Loads the application state in `file` into `state`; false with `error` set when the file
// cannot be used (`state` then keeps what it had).
[[nodiscard]] bool LoadState(const std::filesystem::path& file, TApplicationState& state, std::string& error);

// Writes the configuration's keys into `file` atomically, leaving every other key as the
// file has it now. The autostart entry is not touched. A file that belonged to another user
// (a `sudo quorix account ...`) keeps its owner. Throws EQuorixException naming the file.
void SaveConfig(const std::filesystem::path& file, TConfig& config);
// The same for the application state.
void SaveState(const std::filesystem::path& file, TApplicationState& state);

}  // namespace SettingsFile
