#include "app/filter/FilterMain.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/filter/TAtomicOutputFile.h"
#include "app/filter/TFilterOptions.h"
#include "app/filter/TFilterReport.h"
#include "common/EQuorixException.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/TAccount.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "engine/TProxyMessageProcessorInterface.h"
#include "logs/TMessageLogs.h"
#include "platform/ERegistryException.h"
#include "platform/ERegistryFileDamaged.h"
#include "platform/ERegistryFileUnreadable.h"
#include "platform/Paths.h"
#include "platform/TRegistryStore.h"

namespace {

constexpr int kExitFiltered = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The account of a message that comes from no configured server, as from a file.
constexpr const char* kLocalAccountHost = "localhost";
constexpr const char* kLocalAccountProfile = "Medium";

void say(const std::string& text) { std::fprintf(stderr, "quorix-filter: %s\n", text.c_str()); }

const char* statusKindName(int kind) {
  switch (kind) {
    case kMessageLogStatusWarning:
      return "warning";
    case kMessageLogStatusError:
      return "error";
    default:
      return "information";
  }
}

void sayStatus(int kind, std::string_view text) {
  std::fprintf(stderr, "quorix-filter: %s: %.*s\n", statusKindName(kind), static_cast<int>(text.size()),
               text.data());
}

// The configuration in the settings file, with the built-in profiles wherever the file has
// none of their names (a fresh installation has none at all). Null after saying why not.
TConfigRef loadConfiguration(const std::filesystem::path& file) {
  try {
    TRegistryStore store(file);
    store.Load();
    TConfigRef config(new TConfig);
    try {
      config->LoadConfigFromRegistry(store);
    } catch (const ERegistryException& e) {
      // The file parsed, but a value in it has the wrong type or cannot be used.
      say("damaged settings file '" + file.string() + "': " + e.what());
      return {};
    }
    CreateDefaultSecurityProfiles(config->SecurityProfiles);
    return config;
  } catch (const ERegistryFileDamaged& e) {
    say("damaged settings file '" + file.string() + "': " + e.what());
  } catch (const ERegistryFileUnreadable& e) {
    say("unreadable settings file '" + file.string() + "': " + e.what());
  } catch (const std::exception& e) {
    say(std::string("cannot load the settings: ") + e.what());
  }
  return {};
}

// Opens the message for reading; null after saying why not.
std::FILE* openInput(const std::string& file) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  int error = errno;
  struct stat status {};
  if (in != nullptr && ::fstat(::fileno(in), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(in);
    in = nullptr;
    error = EISDIR;
  }
  if (in == nullptr) say("unreadable input file '" + file + "': " + std::strerror(error));
  return in;
}

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// The lines of `in` as a POP3 reply delivers them: split at LF, a CR before the LF removed,
// a last line without LF still a line. False on a read error.
template <class OnLine>
bool readLines(std::FILE* in, OnLine&& onLine) {
  char* buffer = nullptr;
  std::size_t capacity = 0;
  ssize_t length = 0;
  while ((length = ::getline(&buffer, &capacity, in)) > 0) {
    std::string_view line(buffer, static_cast<std::size_t>(length));
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    onLine(line);
  }
  const bool ok = std::ferror(in) == 0;
  std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): getline's buffer
  return ok;
}

}  // namespace

int RunFilter(const std::vector<std::string_view>& arguments) {
  std::string usageError;
  const std::optional<TFilterOptions> parsed = ParseFilterOptions(arguments, usageError);
  if (!parsed) {
    say(usageError);
    std::fputs(FilterUsageText().c_str(), stderr);
    return kExitUsage;
  }
  const TFilterOptions& options = *parsed;
  if (options.Help) {
    std::fputs(FilterUsageText().c_str(), stdout);
    return kExitFiltered;
  }

  std::filesystem::path registryFile;
  try {
    registryFile = options.RegistryFile ? std::filesystem::path(*options.RegistryFile) : Platform::RegistryFilePath();
  } catch (const std::exception& e) {
    say(std::string("cannot find the settings file: ") + e.what());
    return kExitFailed;
  }
  TConfigRef config = loadConfiguration(registryFile);
  if (!config) return kExitFailed;

  static const TAccount localAccount{kLocalAccountHost, 110, kLocalAccountProfile};
  const TAccount* account = &localAccount;
  if (options.AccountHost) {
    account = config->Accounts.FindAccountWithRemoteHostname(*options.AccountHost);
    if (account == nullptr) {
      say("warning: no account has the server '" + *options.AccountHost +
          "'; the local account with the profile \"Medium\" applies");
      account = &localAccount;
    }
  }
  if (options.ProfileName && config->SecurityProfiles.FindSecurityProfile(*options.ProfileName) == nullptr &&
      BuiltInSecurityProfileTemplate(*options.ProfileName) == nullptr) {
    say("unknown profile " + *options.ProfileName);
    return kExitFailed;
  }

  std::unique_ptr<std::FILE, FileCloser> inputFile;
  std::FILE* in = stdin;
  if (options.InputFile) {
    inputFile.reset(openInput(*options.InputFile));
    if (!inputFile) return kExitFailed;
    in = inputFile.get();
  }

  std::unique_ptr<TMessageLogs> logs;
  if (!options.NoLog) {
    std::string folder = options.LogDirectory ? *options.LogDirectory : config->LogPath;
    // An explicit folder is a request to log, whatever the settings say about keeping logs.
    if (options.LogDirectory && config->KeepLogsForDays() < 0) config->SetKeepLogsForDays(28);
    if (!folder.empty()) {
      TMessageLogsOptions logOptions;
      logOptions.OnStatus = sayStatus;
      logs = std::make_unique<TMessageLogs>(folder, std::move(logOptions));
    }
  }

  try {
    std::unique_ptr<TAtomicOutputFile> outputFile;
    if (options.OutputFile) outputFile = std::make_unique<TAtomicOutputFile>(*options.OutputFile);
    std::FILE* out = outputFile ? outputFile->Stream() : stdout;
    if (!outputFile) static_cast<void>(std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16));
    const std::string_view lineEnd = options.CRLF ? "\r\n" : "\n";
    bool writeFailed = false;
    const auto write = [&](std::string_view bytes) {
      if (bytes.empty()) return;  // its data may be null, which fwrite must not be given
      if (outputFile) {
        outputFile->Write(bytes);
      } else if (!writeFailed && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
        writeFailed = true;
      }
    };

    MessageProcessorInterfaceOptions engineOptions;
    engineOptions.processingTime = options.Now;
    engineOptions.forcedSecurityProfile = options.ProfileName;
    TProxyMessageProcessorInterface bridge(
        config, *account,
        [&](std::string_view line) {
          write(line);
          write(lineEnd);
        },
        sayStatus, logs.get(), std::move(engineOptions));

    const bool readOk = readLines(in, [&](std::string_view line) { bridge.ProcessLine(line); });
    if (!readOk) {
      say("unreadable input file '" + options.InputFile.value_or("standard input") + "': " + std::strerror(errno));
      return kExitFailed;
    }
    bridge.Finish();

    if (outputFile) {
      outputFile->Commit();
    } else if (writeFailed || std::fflush(stdout) != 0) {
      say(std::string("cannot write standard output: ") + std::strerror(errno));
      return kExitFailed;
    }
    if (options.ReportFile) WriteFileAtomically(*options.ReportFile, FilterReportJson(bridge.LogRecord()));
  } catch (const std::exception& e) {
    say(std::string("the message could not be filtered: ") + e.what());
    return kExitFailed;
  }
  return kExitFiltered;
}
