#include "platform/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/EQuorixException.h"

namespace Platform {
namespace {

const char* NonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::filesystem::path XdgDirectory(const char* variable, const std::filesystem::path& fallbackBelowHome) {
  if (const char* value = NonEmptyEnvironment(variable)) {
    std::filesystem::path path(value);
    if (path.is_absolute()) {
      return path;
    }
  }
  return HomeDirectory() / fallbackBelowHome;
}

}  // namespace

std::filesystem::path HomeDirectory() {
  if (const char* home = NonEmptyEnvironment("HOME")) {
    return home;
  }
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') {
    throw EQuorixException(
        "Cannot find the home folder: HOME is not set and the password database has no home folder for "
        "user " +
        std::to_string(::getuid()));
  }
  return found->pw_dir;
}

std::filesystem::path ConfigHomeDirectory() {
  return XdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path DataHomeDirectory() {
  return XdgDirectory("XDG_DATA_HOME", std::filesystem::path(".local") / "share");
}

std::filesystem::path RegistryFilePath() {
  if (const char* file = NonEmptyEnvironment("QUORIX_REGISTRY")) {
    return file;
  }
  return ConfigHomeDirectory() / "quorix" / "registry.reg";
}

std::filesystem::path ExecutablePath() {
  constexpr const char* kSelf = "/proc/self/exe";
  // The kernel's mark of a file deleted (or replaced, as by a package upgrade) while it runs.
  constexpr std::string_view kDeletedMark = " (deleted)";
  std::error_code ec;
  std::string path = std::filesystem::read_symlink(kSelf, ec).string();
  if (ec) {
    throw EQuorixException(std::string("Cannot find the program's own file: ") + kSelf + ": " + ec.message());
  }
  if (path.ends_with(kDeletedMark)) {
    // A file that is really named so is the running program itself; otherwise the mark goes,
    // and the path names the file that now stands there (the upgraded program).
    struct stat running {};
    struct stat named {};
    const bool reallyNamedSo = ::stat(kSelf, &running) == 0 && ::stat(path.c_str(), &named) == 0 &&
                               running.st_dev == named.st_dev && running.st_ino == named.st_ino;
    if (!reallyNamedSo) {
      path.resize(path.size() - kDeletedMark.size());
    }
  }
  return path;
}

}  // namespace Platform
