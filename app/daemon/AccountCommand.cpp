#include "app/daemon/AccountCommand.h"

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/daemon/RuntimeFolder.h"
#include "app/daemon/SettingsFile.h"
#include "config/TAccount.h"
#include "config/TAccounts.h"
#include "integration/ApplyHostsFileChanges.h"
#include "integration/EHostsFileNotWritable.h"
#include "integration/EInvalidHostName.h"
#include "integration/HostName.h"
#include "integration/THostsManager.h"
#include "platform/Paths.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kDefaultProfile = "Medium";

int Fail(int status, const std::string& text) {
  std::fprintf(stderr, "quorix: %s\n", text.c_str());
  return status;
}

std::string ShellQuoted(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                             "0123456789-_./:=@+") == std::string::npos;
  if (plain) {
    return text;
  }
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

// The same request, to be run with the rights to change the hosts file; the settings file
// and the hosts folder are named, since sudo changes the environment they come from.
std::string PrivilegedCommand(const TQuorixOptions& options, const std::filesystem::path& settingsFile) {
  std::string command = "sudo ";
  const char* hostsFolder = std::getenv("QUORIX_HOSTS_DIR");  // NOLINT(concurrency-mt-unsafe)
  if (hostsFolder != nullptr && *hostsFolder != '\0') {
    command += "env QUORIX_HOSTS_DIR=" + ShellQuoted(hostsFolder) + " ";
  }
  std::string program = "quorix";
  try {
    program = Platform::ExecutablePath().string();
  } catch (const std::exception&) {  // NOLINT(bugprone-empty-catch): the bare name will do
  }
  command += ShellQuoted(program);
  for (const std::string& word : options.Words) {
    command += " " + ShellQuoted(word);
  }
  if (options.Profile) {
    command += " --profile " + ShellQuoted(*options.Profile);
  }
  return command + " --registry " + ShellQuoted(settingsFile.string());
}

struct TServer {
  std::string Host;
  int Port = 110;
};

// HOST or HOST:PORT; "" when it is one, else what is wrong.
std::string ParseServer(const std::string& text, TServer& server) {
  const std::size_t colon = text.find(':');
  server.Host = text.substr(0, colon);
  if (colon != std::string::npos) {
    const std::string port = text.substr(colon + 1);
    if (port.find(':') != std::string::npos) {
      return "'" + HostName::Shown(text) + "' has more than one ':'; give HOST or HOST:PORT (IPv6 addresses are not supported)";
    }
    const auto [end, problem] = std::from_chars(port.data(), port.data() + port.size(), server.Port);
    if (problem != std::errc() || end != port.data() + port.size() || server.Port < 1 || server.Port > 65535) {
      return "the port in '" + HostName::Shown(text) + "' is not a number from 1 to 65535";
    }
  }
  if (server.Host.empty()) {
    return "'" + HostName::Shown(text) + "' names no server; give HOST or HOST:PORT";
  }
  if (const std::string problem = HostName::Problem(TAccounts::MakeLocalHostname(server.Host)); !problem.empty()) {
    return "'" + HostName::Shown(server.Host) + "' cannot be a mail server's name: " + problem;
  }
  return {};
}

std::string ProfileNames(const TConfig& config) {
  std::string names;
  for (int i = 0; i < config.SecurityProfiles.GetCount(); ++i) {
    names += (i == 0 ? "" : ", ") + config.SecurityProfiles.GetName(i);
  }
  return names;
}

std::string AccountNames(const TConfig& config) {
  std::string names;
  for (int i = 0; i < config.Accounts.GetCount(); ++i) {
    names += (i == 0 ? "" : ", ") + config.Accounts.GetAccount(i)->RemoteHostname;
  }
  return names.empty() ? "none" : names;
}

std::string Describe(const TAccount& account) {
  return account.RemoteHostname + ":" + std::to_string(account.RemotePort) + " (profile " +
         account.DefaultSecurityProfile + ")";
}

// Writes the hosts block for `accounts`; true when it was written (or nothing needed to change).
bool WriteHosts(const TAccounts& accounts, bool reportNotices) {
  const auto hosts = THostsManager::OpenQuorixHostsFile();
  ApplyHostsFileChanges(*hosts, accounts);
  if (reportNotices) {
    for (const std::string& notice : hosts->Notices()) {
      std::fprintf(stderr, "quorix: warning: %s\n", notice.c_str());
    }
  }
  hosts->save();
  return true;
}

void TellDaemon() {
  try {
    if (const auto pid = RuntimeFolder::RunningDaemon(RuntimeFolder::Choose())) {
      if (::kill(*pid, SIGHUP) == 0) {
        std::printf("Told the running Quorix (process %d) to reload its settings.\n", static_cast<int>(*pid));
        return;
      }
    }
  } catch (const std::exception&) {  // NOLINT(bugprone-empty-catch): no runtime folder, so no daemon to tell
  }
  std::printf("No running quorix --headless was found; the change applies when it starts (or restart it).\n");
}

// Hosts file first, then the settings; each failure leaves both files as they were.
int Apply(const TQuorixOptions& options, const std::filesystem::path& settingsFile, TConfig& changed,
          const TAccounts& before) {
  try {
    WriteHosts(changed.Accounts, true);
  } catch (const EHostsFileNotWritable& e) {
    return Fail(kExitFailed, std::string(e.what()) + ". Nothing was changed. Changing the hosts file needs root; run:\n  " +
                                 PrivilegedCommand(options, settingsFile));
  } catch (const EInvalidHostName& e) {
    return Fail(kExitUsage, std::string(e.what()) + ". Nothing was changed.");
  } catch (const std::exception& e) {
    return Fail(kExitFailed, std::string(e.what()) + ". Nothing was changed.");
  }
  try {
    SettingsFile::SaveConfig(settingsFile, changed);
  } catch (const std::exception& e) {
    std::string undo = "the hosts file was put back as it was";
    try {
      WriteHosts(before, false);
    } catch (const std::exception& restore) {
      undo = std::string("the hosts file could not be put back (") + restore.what() +
             "); run the command again once the settings file can be written";
    }
    return Fail(kExitFailed, std::string("Cannot save the settings: ") + e.what() + "; " + undo + ".");
  }
  return kExitOk;
}

}  // namespace

int RunAccountCommand(const TQuorixOptions& options) {
  const std::vector<std::string>& words = options.Words;
  const std::string sub = words.size() > 1 ? words[1] : "";
  const std::size_t wanted = sub == "list" ? 2 : (sub == "add" || sub == "remove") ? 3 : 0;
  if (wanted == 0) {
    return Fail(kExitUsage, sub.empty() ? "account needs list, add HOST[:PORT] or remove HOST"
                                        : "unknown account command '" + sub + "'; use list, add or remove");
  }
  if (words.size() != wanted) {
    return Fail(kExitUsage, "account " + sub + (sub == "list" ? " takes no argument" : " takes one server, HOST" +
                                                                                             std::string(sub == "add" ? "[:PORT]" : "")));
  }
  if (options.Profile && sub != "add") {
    return Fail(kExitUsage, "--profile belongs to account add");
  }

  const std::filesystem::path settingsFile = SettingsFile::Choose(options.RegistryFile ? &*options.RegistryFile : nullptr);
  std::string error;
  const TConfigRef config = SettingsFile::LoadConfig(settingsFile, error);
  if (!config) {
    return Fail(kExitFailed, error);
  }
  const std::string port = std::to_string(config->ListenPort);

  if (sub == "list") {
    if (config->Accounts.GetCount() == 0) {
      std::printf("No accounts yet. Add one with: quorix account add HOST[:PORT] [--profile NAME]\n");
    }
    for (int i = 0; i < config->Accounts.GetCount(); ++i) {
      const TAccount& account = *config->Accounts.GetAccount(i);
      std::printf("%s  mail program: server %s port %s\n", Describe(account).c_str(),
                  config->Accounts.GetAccountLocalHostname(i).c_str(), port.c_str());
    }
    return kExitOk;
  }

  TAccounts before;
  before.Assign(config->Accounts);
  TServer server;
  if (sub == "add") {
    if (const std::string problem = ParseServer(words[2], server); !problem.empty()) {
      return Fail(kExitUsage, problem);
    }
    const std::string wantedProfile = options.Profile ? *options.Profile : kDefaultProfile;
    const int profile = config->SecurityProfiles.IndexOf(wantedProfile);
    if (profile < 0) {
      return Fail(kExitUsage, "unknown profile '" + wantedProfile + "'; the profiles are " + ProfileNames(*config));
    }
    const std::string local = TAccounts::MakeLocalHostname(server.Host);
    if (const TAccount* existing = config->Accounts.FindAccountWithLocalHostname(local)) {
      return Fail(kExitUsage, "there is an account for '" + existing->RemoteHostname + "' already (" +
                                  Describe(*existing) + "); remove it first to change it");
    }
    config->Accounts.AddAccount(
        std::make_unique<TAccount>(server.Host, server.Port, config->SecurityProfiles.GetName(profile)));
    if (const int status = Apply(options, settingsFile, *config, before); status != kExitOk) {
      return status;
    }
    std::printf("Added %s:%d with the profile %s.\n", server.Host.c_str(), server.Port,
                config->SecurityProfiles.GetName(profile).c_str());
    std::printf("In the mail program, set the incoming (POP3) server to %s and the port to %s; the user name and "
                "password stay as they are.\n",
                local.c_str(), port.c_str());
  } else {
    std::string local = TAccounts::MakeLocalHostname(words[2]);
    int index = config->Accounts.IndexOf(local);
    if (index < 0 && words[2].size() > 3 && words[2].ends_with(".qx")) {
      local = words[2];
      index = config->Accounts.IndexOf(local);
    }
    if (index < 0) {
      return Fail(kExitUsage, "there is no account for '" + HostName::Shown(words[2]) + "'; the accounts are " +
                                  AccountNames(*config));
    }
    const std::string removed = Describe(*config->Accounts.GetAccount(index));
    config->Accounts.Delete(index);
    if (const int status = Apply(options, settingsFile, *config, before); status != kExitOk) {
      return status;
    }
    std::printf("Removed %s. Set the mail program back to the server itself, or remove the account there.\n",
                removed.c_str());
  }
  TellDaemon();
  return kExitOk;
}
