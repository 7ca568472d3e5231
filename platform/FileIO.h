#pragma once

#include <sys/types.h>

#include <chrono>
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

// The file that `file` stands for: `file` itself, or, if it is a symbolic link, the end of
// its chain of links (relative targets taken from the folder of their link). The result may
// not exist yet (a dangling link). More than 40 links in a row fail with ELOOP.
[[nodiscard]] std::filesystem::path FinalLinkTarget(const std::filesystem::path& file);

// Replaces `file` by `contents` so that a crash or a kill at any moment leaves either the
// old file or the new one, complete: the folder is created if needed, the contents go to a
// temporary file in the same folder, which is flushed to disk, given `mode` and renamed over
// `file`; then the folder is flushed so that the rename itself survives a power loss. On
// failure the temporary file is removed and the old file is untouched. If `file` is a
// symbolic link, all this happens to FinalLinkTarget(file), so the link stays a link (users
// keep their settings in a repository and link them in).
// The temporary file is ".<name>.XXXXXX" beside the file (six letters or digits).
void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents, mode_t mode);

// Removes the temporary files that saves of `file` killed before their rename left beside
// FinalLinkTarget(file), once their last change is older than `age`: a younger one may
// belong to a save that another process is doing right now. Only regular files are removed;
// failures are ignored (a leftover costs nothing but space).
void RemoveStaleTemporaryFiles(const std::filesystem::path& file, std::chrono::seconds age);

}  // namespace Platform
