#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and crash-safe replacement of small files (settings, autostart entry).
// Failures are std::system_error whose what() reads "<step>: <reason>", for example
// "cannot create the folder '/home/u/.config/quorix': Not a directory"; callers put the
// name of the file in front.
namespace Platform {

// The file's bytes, or nothing if it does not exist (also when a part of its path is a
// regular file, so the file cannot exist).
[[nodiscard]] std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file);

// Replaces `file` by `contents` so that a crash or a kill at any moment leaves either the
// old file or the new one, complete: the folder is created if needed, the contents go to a
// temporary file in the same folder, which is flushed to disk, given `mode` and renamed over
// `file`; then the folder is flushed so that the rename itself survives a power loss. On
// failure the temporary file is removed and the old file is untouched.
void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents, mode_t mode);

}  // namespace Platform
