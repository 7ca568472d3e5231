#include "app/daemon/AccountCommand.h"

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/daemon/RuntimeFolder.h"
#include "app/daemon/SettingsFile.h"
#include "config/TAccount.h"
#include "common/AsciiCase.h"
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
  if (options.Tls) {
    command += " --tls " + ShellQuoted(*options.Tls);
  }
  if (options.CaFile) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(*options.CaFile, ignored);
    command += " --ca-file " + ShellQuoted(absolute.empty() ? *options.CaFile : absolute.string());
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

std::string TlsWords(int mode) {
  switch (mode) {
    case TAccount::TLSModeNone:
      return "no TLS";
    case TAccount::TLSModeSTLS:
      return "STLS";
    case TAccount::TLSModeImplicit:
      return "implicit TLS";
    default:
      return "unknown TLS mode " + std::to_string(mode);
  }
}

std::string Describe(const TAccount& account) {
  std::string text = account.RemoteHostname + ":" + std::to_string(account.RemotePort) + " (profile " +
                     account.DefaultSecurityProfile + ", " + TlsWords(account.TLSMode);
  if (!account.TLSCAFile.empty()) {
    text += ", CA file " + account.TLSCAFile;
  }
  return text + ")";
}

// "none", "stls" or "implicit" (letter case ignored); -1 for anything else.
int ParseTlsMode(const std::string& text) {
  for (const int mode : {TAccount::TLSModeNone, TAccount::TLSModeSTLS, TAccount::TLSModeImplicit}) {
    if (caseInsensitiveEquals(text, TAccount::TLSModeName(mode))) {
      return mode;
    }
  }
  return -1;
}

// The CA file as stored (an absolute path, as the daemon may run elsewhere); "" when it is
// one, else what is wrong. Only a first look: the connection reads the certificates.
std::string CheckCaFile(const std::string& given, std::string& stored) {
  if (given.empty()) {
    return "--ca-file needs a file name";
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(given, error);
  if (error) {
    return "cannot find the CA file '" + given + "': " + error.message();
  }
  stored = absolute.lexically_normal().string();
  if (!std::filesystem::exists(absolute, error)) {
    return "there is no CA file '" + stored + "'";
  }
  if (!std::filesystem::is_regular_file(absolute, error)) {
    return "the CA file '" + stored + "' is not a regular file";
  }
  std::ifstream file(absolute, std::ios::binary);
  std::string head(std::size_t{1} << 16, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  if (file.bad() || (!file && !file.eof())) {
    return "cannot read the CA file '" + stored + "'";
  }
  head.resize(static_cast<std::size_t>(file.gcount()));
  if (head.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
    return "the CA file '" + stored + "' holds no PEM certificate (-----BEGIN CERTIFICATE-----)";
  }
  return {};
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
  if (options.Tls && sub != "add") {
    return Fail(kExitUsage, "--tls belongs to account add");
  }
  if (options.CaFile && sub != "add") {
    return Fail(kExitUsage, "--ca-file belongs to account add");
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
      std::printf("No accounts yet. Add one with: quorix account add HOST[:PORT] [--profile NAME] [--tls MODE]\n");
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
    const int tlsMode = options.Tls ? ParseTlsMode(*options.Tls) : TAccount::DefaultTLSModeFor(server.Port);
    if (tlsMode < 0) {
      return Fail(kExitUsage, "unknown TLS mode '" + *options.Tls + "'; use none, stls or implicit");
    }
    std::string caFile;
    if (options.CaFile) {
      if (tlsMode == TAccount::TLSModeNone) {
        return Fail(kExitUsage, "--ca-file needs TLS; the account's TLS mode is none");
      }
      if (const std::string problem = CheckCaFile(*options.CaFile, caFile); !problem.empty()) {
        return Fail(kExitUsage, problem);
      }
    }
    const std::string local = TAccounts::MakeLocalHostname(server.Host);
    if (const TAccount* existing = config->Accounts.FindAccountWithLocalHostname(local)) {
      return Fail(kExitUsage, "there is an account for '" + existing->RemoteHostname + "' already (" +
                                  Describe(*existing) + "); remove it first to change it");
    }
    auto account = std::make_unique<TAccount>(server.Host, server.Port, config->SecurityProfiles.GetName(profile));
    account->TLSMode = tlsMode;
    account->TLSCAFile = caFile;
    config->Accounts.AddAccount(std::move(account));
    if (const int status = Apply(options, settingsFile, *config, before); status != kExitOk) {
      return status;
    }
    std::printf("Added %s:%d with the profile %s and %s%s.\n", server.Host.c_str(), server.Port,
                config->SecurityProfiles.GetName(profile).c_str(), TlsWords(tlsMode).c_str(),
                caFile.empty() ? "" : (", trusting the CAs in " + caFile).c_str());
    if (tlsMode == TAccount::TLSModeNone) {
      std::printf("Warning: the password for %s will cross the network unencrypted.\n", server.Host.c_str());
    }
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
