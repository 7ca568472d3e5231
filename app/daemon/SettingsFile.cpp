#include "app/daemon/SettingsFile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <functional>

#include "common/EQuorixException.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/TExtRegistry.h"
#include "platform/ERegistryException.h"
#include "platform/ERegistryFileDamaged.h"
#include "platform/ERegistryFileUnreadable.h"
#include "platform/Paths.h"
#include "platform/TRegistryStore.h"

namespace SettingsFile {
namespace {

// Who should own the file after a save: its owner now, or for a new file the owner of the
// folder it goes into (the first existing one up the path).
bool OwnerToKeep(const std::filesystem::path& file, uid_t& uid, gid_t& gid) {
  struct stat status {};
  std::filesystem::path probe = file;
  while (::stat(probe.c_str(), &status) != 0) {
    if (!probe.has_parent_path() || probe.parent_path() == probe) {
      return false;
    }
    probe = probe.parent_path();
  }
  uid = status.st_uid;
  gid = status.st_gid;
  return true;
}

void Save(const std::filesystem::path& file, const std::function<void(TExtRegistry&)>& write) {
  uid_t uid = 0;
  gid_t gid = 0;
  const bool knownOwner = ::geteuid() == 0 && OwnerToKeep(file, uid, gid);
  TRegistryStore store(file);
  TExtRegistry registry(store);
  registry.SetRootKey(THKey::HKEY_CURRENT_USER);
  write(registry);
  registry.Flush();
  if (knownOwner && uid != 0) {
    // Only root gets here; the user must be able to read and change the file again.
    if (::chown(file.c_str(), uid, gid) != 0) {
      throw EQuorixException("Saved the settings file '" + file.string() +
                             "' but cannot give it back to its owner; run: sudo chown " + std::to_string(uid) + ":" +
                             std::to_string(gid) + " '" + file.string() + "'");
    }
  }
}

}  // namespace

std::filesystem::path Choose(const std::string* commandLineFile) {
  if (commandLineFile != nullptr) {
    return *commandLineFile;
  }
  const char* variable = std::getenv("QUORIX_REGISTRY");  // NOLINT(concurrency-mt-unsafe)
  const char* sudoUid = std::getenv("SUDO_UID");          // NOLINT(concurrency-mt-unsafe)
  if ((variable == nullptr || *variable == '\0') && ::geteuid() == 0 && sudoUid != nullptr) {
    const passwd* user = ::getpwuid(static_cast<uid_t>(std::strtoul(sudoUid, nullptr, 10)));  // NOLINT
    if (user != nullptr && user->pw_dir != nullptr && user->pw_uid != 0) {
      return std::filesystem::path(user->pw_dir) / ".config" / "quorix" / "registry.reg";
    }
  }
  return Platform::RegistryFilePath();
}

TConfigRef LoadConfig(const std::filesystem::path& file, std::string& error) {
  try {
    TRegistryStore store(file);
    store.Load();
    TConfigRef config(new TConfig);
    config->LoadConfigFromRegistry(store);
    CreateDefaultSecurityProfiles(config->SecurityProfiles);
    return config;
  } catch (const ERegistryFileDamaged& e) {
    error = std::string("The settings file is damaged and was left as it is (repair it, or move it aside to start "
                        "afresh): ") + e.what();
  } catch (const ERegistryFileUnreadable& e) {
    error = e.what();
  } catch (const ERegistryException& e) {
    error = "The settings file '" + file.string() + "' holds a value that cannot be used: " + e.what();
  } catch (const std::exception& e) {
    error = "Cannot load the settings from '" + file.string() + "': " + e.what();
  }
  return {};
}

bool LoadState(const std::filesystem::path& file, TApplicationState& state, std::string& error) {
  try {
    TRegistryStore store(file);
    state.LoadStateFromRegistry(store);
    return true;
  } catch (const std::exception& e) {
    error = "Cannot load the program state from '" + file.string() + "': " + e.what();
    return false;
  }
}

void SaveConfig(const std::filesystem::path& file, TConfig& config) {
  Save(file, [&config](TExtRegistry& registry) { config.SaveToRegistry(registry, TConfig::RegistryKey); });
}

void SaveState(const std::filesystem::path& file, TApplicationState& state) {
  Save(file, [&state](TExtRegistry& registry) { state.SaveToRegistry(registry, TApplicationState::RegistryKey); });
}

}  // namespace SettingsFile
