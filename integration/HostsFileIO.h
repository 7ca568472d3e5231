#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Reading and crash-safe replacing of the hosts file, which other programs and the
// administrator share with us.
namespace HostsFileIO {

// The file's bytes, or nothing if it does not exist. Throws EHostsFileUnreadable.
[[nodiscard]] std::optional<std::string> Read(const std::filesystem::path& file);

// Replaces the file (the end of its chain of symbolic links) by `contents` so that a crash
// at any moment leaves the old file or the new one, whole: a temporary file ".hosts.XXXXXX"
// in the same folder gets the contents, the old file's permissions and owner (0644 and ours
// for a new file), is flushed to disk and renamed over the file. A file or folder this user
// may not write raises EHostsFileNotWritable before anything is created; any other failure
// EHostsFileException. On failure the old file is untouched and the temporary file removed.
void Replace(const std::filesystem::path& file, std::string_view contents);

}  // namespace HostsFileIO
