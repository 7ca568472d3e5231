#include "app/daemon/HeadlessDaemon.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/daemon/POPSessionFactory.h"
#include "app/daemon/QuorixOptions.h"
#include "app/daemon/RuntimeFolder.h"
#include "app/daemon/SettingsFile.h"
#include "app/daemon/StatusPrinter.h"
#include "common/TDateTime.h"
#include "config/TApplicationState.h"
#include "engine/TProxyMessageProcessorInterfaceFactory.h"
#include "integration/EHostsFileException.h"
#include "integration/THostsManager.h"
#include "logs/TMessageLogs.h"
#include "platform/TSingleInstance.h"
#include "platform/TStatusQueue.h"
#include "proxy/TProxyServer.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Wakes the main loop now and then even when nothing happens, to notice a new day.
constexpr int kIdleWakeMilliseconds = 1000;

void SayNow(TStatusKind kind, const std::string& text) {
  TStatusPrinter(stdout, stderr).Print({kind, text, std::chrono::system_clock::now()});
}

TStatusKind KindOf(int kind) {
  return kind == 2 ? TStatusKind::Error : kind == 1 ? TStatusKind::Warning : TStatusKind::Information;
}

// The descriptors the main loop waits on: termination and reload signals, and status lines
// pushed by other threads. The signals are blocked before any thread exists, so that only
// the signalfd ever sees them and no handler runs at all.
class TWakeUps {
 public:
  TWakeUps() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGHUP);
    if (::pthread_sigmask(SIG_BLOCK, &signals_, nullptr) != 0) {
      throw std::runtime_error("cannot block the signals");
    }
    signalFd_ = ::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
    statusFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd_ < 0 || statusFd_ < 0) {
      throw std::runtime_error(std::string("cannot create the wake-up descriptors: ") + std::strerror(errno));
    }
  }
  ~TWakeUps() {
    ::close(signalFd_);
    ::close(statusFd_);
  }
  TWakeUps(const TWakeUps&) = delete;
  TWakeUps& operator=(const TWakeUps&) = delete;

  // From any thread.
  void StatusPushed() const noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(statusFd_, &one, sizeof one);
  }

  // Waits up to `milliseconds`; the signal that arrived, or 0.
  int Wait(int milliseconds) const {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {statusFd_, POLLIN, 0}};
    if (::poll(fds, 2, milliseconds) <= 0) {
      return 0;
    }
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(statusFd_, &count, sizeof count);
    signalfd_siginfo info{};
    if (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      return static_cast<int>(info.ssi_signo);
    }
    return 0;
  }

 private:
  sigset_t signals_{};
  int signalFd_ = -1;
  int statusFd_ = -1;
};

class THeadlessDaemon {
 public:
  THeadlessDaemon(const TQuorixOptions& options, TWakeUps& wakeUps, std::filesystem::path runtimeFolder)
      : options_(options), wakeUps_(wakeUps), runtimeFolder_(std::move(runtimeFolder)) {
    queue_.SetWakeUp([this] { wakeUps_.StatusPushed(); });
  }

  void Say(TStatusKind kind, std::string text) { queue_.Push(kind, std::move(text)); }
  void Print() {
    for (const TStatusMessage& message : queue_.Drain()) {
      printer_.Print(message);
    }
  }

  int Run(std::unique_ptr<TSingleInstance> instance);

 private:
  [[nodiscard]] TConfigRef Load();
  void SweepOldLogs();
  [[nodiscard]] std::vector<std::string> HostsAddresses();
  void Reload();
  void Close(int signal);

  const TQuorixOptions& options_;
  TWakeUps& wakeUps_;
  const std::filesystem::path runtimeFolder_;
  TStatusQueue queue_;
  TStatusPrinter printer_{stdout, stderr};
  std::filesystem::path settingsFile_;
  TConfigRef config_;
  TApplicationState state_;
  std::unique_ptr<TMessageLogs> logs_;
  std::unique_ptr<TProxyServer> server_;
  TDateTime sweepDate_ = 0;
};

TConfigRef THeadlessDaemon::Load() {
  std::string error;
  TConfigRef config = SettingsFile::LoadConfig(settingsFile_, error);
  if (!config) {
    Say(TStatusKind::Error, error);
    return {};
  }
  if (config->LogsNeedSplitting() && logs_) {
    // Logs of versions before log retention lie in one file; once split, the retention
    // setting is saved so that this happens once.
    if (const TMessageLogResult split = logs_->SplitLogFiles(); !split) {
      Say(TStatusKind::Warning, "Cannot split the old message logs: " + split.Reason);
    }
    config->SetKeepLogsForDays(config->KeepLogsForDays());
    try {
      SettingsFile::SaveConfig(settingsFile_, *config);
    } catch (const std::exception& e) {
      Say(TStatusKind::Warning, e.what());
    }
  }
  if (options_.Port) {
    config->ListenPort = *options_.Port;
  }
  return config;
}

void THeadlessDaemon::SweepOldLogs() {
  if (!logs_) {
    return;
  }
  if (const TMessageLogResult swept = logs_->deleteFileLogsBefore(sweepDate_ - config_->KeepLogsForDays()); !swept) {
    Say(TStatusKind::Warning, "Cannot remove old message logs: " + swept.Reason);
  }
}

std::vector<std::string> THeadlessDaemon::HostsAddresses() {
  std::vector<std::string> addresses;
  try {
    const auto hosts = THostsManager::OpenQuorixHostsFile();
    for (const std::string& notice : hosts->Notices()) {
      Say(TStatusKind::Warning, notice);
    }
    for (const auto& [name, address] : hosts->LocalAddresses()) {
      addresses.push_back(address);
    }
  } catch (const std::exception& e) {
    Say(TStatusKind::Warning, std::string(e.what()) + "; the accounts' addresses are unknown, so only 127.0.0.1 listens");
  }
  return addresses;
}

void THeadlessDaemon::Reload() {
  Say(TStatusKind::Information, "Reloading the settings from '" + settingsFile_.string() + "'");
  TConfigRef fresh = Load();
  if (!fresh) {
    Say(TStatusKind::Warning, "The settings in use stay as they were");
    return;
  }
  if (fresh->LogPath != config_->LogPath) {
    Say(TStatusKind::Warning, "The message log folder changed to '" + fresh->LogPath +
                                  "'; messages are logged in '" + config_->LogPath + "' until Quorix is restarted");
  }
  config_ = fresh;
  server_->SetLocalAddresses(HostsAddresses());
  server_->SetConfig(fresh);
  SweepOldLogs();
  Say(TStatusKind::Information, "Settings reloaded: " + std::to_string(fresh->Accounts.GetCount()) +
                                    " account(s), port " + std::to_string(fresh->ListenPort));
}

void THeadlessDaemon::Close(int signal) {
  const std::size_t running = server_->ActiveThreadsCount();
  Say(TStatusKind::Information, std::string("Closing on ") + ::sigabbrev_np(signal) + "; " +
                                    (running == 0 ? std::string("no connection is running")
                                                  : "waiting for " + std::to_string(running) + " connection(s)"));
  Print();
  // Sessions notice the stop within one read time-out and finish their teardown; the status
  // lines they write meanwhile are printed after.
  server_->WaitForThreads();
  server_.reset();
  try {
    SettingsFile::SaveState(settingsFile_, state_);
  } catch (const std::exception& e) {
    Say(TStatusKind::Error, std::string("Cannot save the program state: ") + e.what());
  }
  Say(TStatusKind::Information, "Quorix stopped");
  Print();
}

int THeadlessDaemon::Run(std::unique_ptr<TSingleInstance> instance) {
  settingsFile_ = SettingsFile::Choose(options_.RegistryFile ? &*options_.RegistryFile : nullptr);
  // The log store goes on the configured folder, which only the settings name; so they are
  // read twice when old logs need splitting: once for the folder, once after the split.
  std::string error;
  TConfigRef first = SettingsFile::LoadConfig(settingsFile_, error);
  if (!first) {
    Say(TStatusKind::Error, error);
    Print();
    return kExitFailed;
  }
  if (!SettingsFile::LoadState(settingsFile_, state_, error)) {
    Say(TStatusKind::Warning, error);
  }
  if (!first->LogPath.empty()) {
    TMessageLogsOptions logOptions;
    logOptions.OnStatus = [this](int kind, std::string_view text) { Say(KindOf(kind), std::string(text)); };
    logs_ = std::make_unique<TMessageLogs>(first->LogPath, std::move(logOptions));
  }
  sweepDate_ = Today();
  config_ = first->LogsNeedSplitting() ? Load() : first;
  if (!config_) {
    Print();
    return kExitFailed;
  }
  if (options_.Port) {
    config_->ListenPort = *options_.Port;
  }
  SweepOldLogs();
  Say(TStatusKind::Information, "Quorix running headless (process " + std::to_string(::getpid()) +
                                    "); settings '" + settingsFile_.string() + "', " +
                                    std::to_string(config_->Accounts.GetCount()) + " account(s), message logs '" +
                                    config_->LogPath + "'");
  if (config_->Accounts.GetCount() == 0) {
    Say(TStatusKind::Warning, "No account is set up yet; add one with: quorix account add HOST[:PORT]");
  }

  TPOPProxyEnvironment environment;
  environment.MessageLogs = logs_.get();
  environment.OutputStatus = [this](int kind, std::string_view text) { Say(KindOf(kind), std::string(text)); };
  environment.ProcessorFactory = EngineMessageProcessorFactory();
  server_ = std::make_unique<TProxyServer>(POPSessionFactory(std::move(environment)),
                                           [this](int kind, std::string_view text) { Say(KindOf(kind), std::string(text)); },
                                           config_);
  server_->SetLocalAddresses(HostsAddresses());
  server_->BindSocket();
  if (!RuntimeFolder::WritePidFile(runtimeFolder_)) {
    Say(TStatusKind::Warning, "Cannot write '" + (runtimeFolder_ / RuntimeFolder::kPidFileName).string() +
                                  "'; quorix account cannot tell this daemon to reload, restart it after changes");
  }
  Print();

  for (;;) {
    const int signal = wakeUps_.Wait(kIdleWakeMilliseconds);
    Print();
    if (signal == SIGTERM || signal == SIGINT) {
      Close(signal);
      break;
    }
    if (signal == SIGHUP) {
      Reload();
    }
    if (const TDateTime today = Today(); today != sweepDate_) {
      sweepDate_ = today;
      SweepOldLogs();
    }
    Print();
  }
  RuntimeFolder::RemovePidFile(runtimeFolder_);
  instance.reset();
  return kExitOk;
}

}  // namespace

int RunHeadless(const TQuorixOptions& options, const std::string& usageError) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  try {
    TWakeUps wakeUps;
    const std::filesystem::path folder = RuntimeFolder::Choose();
    // The come-forward request arrives on the instance's own thread; the daemon is made
    // before the lock is taken, and outlives it, so that the request always has somewhere to go.
    const auto daemon = std::make_unique<THeadlessDaemon>(options, wakeUps, folder);
    std::unique_ptr<TSingleInstance> instance = TSingleInstance::TryAcquire(folder, [target = daemon.get()] {
      target->Say(TStatusKind::Information, "Another start of Quorix asked this copy to come forward; it has exited");
    });
    if (!instance) {
      if (TSingleInstance::AskToComeForward(folder)) {
        SayNow(TStatusKind::Information, "Quorix is already running; it was asked to come forward");
      } else {
        SayNow(TStatusKind::Warning, "Quorix is already running (it holds the lock in '" + folder.string() +
                                         "') but did not answer the request to come forward");
      }
      return kExitFailed;
    }
    if (!usageError.empty()) {
      std::fprintf(stderr, "quorix: %s\n%s", usageError.c_str(), QuorixUsageText().c_str());
      return kExitUsage;
    }
    if (!options.Headless) {
      std::fprintf(stderr,
                   "quorix: the windowed program is not built yet; run 'quorix --headless' to start the proxy, or "
                   "see 'quorix --help'\n");
      return kExitUsage;
    }
    return daemon->Run(std::move(instance));
  } catch (const std::exception& e) {
    SayNow(TStatusKind::Error, std::string("Quorix cannot start: ") + e.what());
    return kExitFailed;
  }
}
