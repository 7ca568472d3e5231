#include "app/daemon/RuntimeFolder.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/TSingleInstance.h"

namespace RuntimeFolder {

std::filesystem::path Choose() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
  const char* sudoUid = std::getenv("SUDO_UID");         // NOLINT(concurrency-mt-unsafe)
  if ((runtime == nullptr || runtime[0] != '/') && ::geteuid() == 0 && sudoUid != nullptr) {
    std::filesystem::path folder = std::filesystem::path("/run/user") / sudoUid;
    std::error_code ignored;
    if (std::filesystem::is_directory(folder, ignored)) {
      return folder;
    }
  }
  return TSingleInstance::DefaultFolder();
}

bool WritePidFile(const std::filesystem::path& folder) {
  const std::filesystem::path file = folder / kPidFileName;
  const std::filesystem::path temporary = folder / (std::string(kPidFileName) + ".new");
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << ::getpid() << "\n";
    if (!out.flush()) {
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  return !error;
}

void RemovePidFile(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::remove(folder / kPidFileName, ignored);
}

std::optional<pid_t> RunningDaemon(const std::filesystem::path& folder) {
  std::ifstream in(folder / kPidFileName);
  long pid = 0;
  if (!(in >> pid) || pid <= 1) {
    return std::nullopt;
  }
  // A daemon killed outright leaves its file; its number may belong to another program by now.
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (!std::getline(comm, name) || name != "quorix" || ::kill(static_cast<pid_t>(pid), 0) != 0) {
    return std::nullopt;
  }
  return static_cast<pid_t>(pid);
}

}  // namespace RuntimeFolder
