#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>

// The daemon's process id file beside its single-instance lock, so that `quorix account` can
// tell a running daemon to reload.
namespace RuntimeFolder {

// The folder of the lock (TSingleInstance::DefaultFolder). Under sudo without
// $XDG_RUNTIME_DIR, the invoking user's /run/user/<uid> when it exists, where that user's
// daemon keeps its lock.
[[nodiscard]] std::filesystem::path Choose();

// Writes "<pid>\n" to quorix.pid in `folder` atomically; false if that failed.
bool WritePidFile(const std::filesystem::path& folder);
void RemovePidFile(const std::filesystem::path& folder);
// The process id in the file if a process of that id runs and is named quorix.
[[nodiscard]] std::optional<pid_t> RunningDaemon(const std::filesystem::path& folder);

inline constexpr const char* kPidFileName = "quorix.pid";

}  // namespace RuntimeFolder
