#pragma once

#include <filesystem>

// Where this program's files live on Linux, following the XDG base-directory rules.
// Every function reads the environment afresh, so a test may point XDG_* at a scratch folder.
// Failures are EQuorixException with a text that says what was missing.
namespace Platform {

// $HOME if it is set and not empty, else the home folder that the password database gives
// the user. Throws if neither is known.
[[nodiscard]] std::filesystem::path HomeDirectory();

// $XDG_CONFIG_HOME if it is set to an absolute path, else ~/.config. (A relative value is
// ignored, as the XDG rules say.)
[[nodiscard]] std::filesystem::path ConfigHomeDirectory();

// $XDG_DATA_HOME if it is set to an absolute path, else ~/.local/share.
[[nodiscard]] std::filesystem::path DataHomeDirectory();

// $QUORIX_REGISTRY if it is set and not empty, else ConfigHomeDirectory()/quorix/registry.reg.
[[nodiscard]] std::filesystem::path RegistryFilePath();

// The running program's own file (/proc/self/exe). If that file was deleted or replaced
// while the program runs (a package upgrade), the path it had, without the " (deleted)"
// the kernel adds, so that what is written from it names the program now installed there.
// Throws if it cannot be read.
[[nodiscard]] std::filesystem::path ExecutablePath();

}  // namespace Platform
