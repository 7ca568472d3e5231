#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "config/TAccounts.h"
#include "config/TAddressOverrides.h"
#include "config/TSecurityProfiles.h"
#include "config/TStoreableObject.h"

class TRegistryStore;

// The whole configuration of the proxy: general options, accounts, address overrides,
// security profiles and the allowed web-bug providers.
//
// Sharing: an instance is reference-counted. It starts with no holder; each holder calls
// AddRef and later Release, and the Release that drops the count to zero deletes the
// instance, on whatever thread that happens. So an instance whose count is ever taken must
// have been created with `new`. Once an instance has been made current it is not modified;
// a changed configuration is built as a new instance and swapped in, so threads that hold
// an older one read it without a lock.
class TConfig : public TStoreableObject {
 public:
  // The registry key of the configuration below HKEY_CURRENT_USER.
  static constexpr const char* RegistryKey = "\\Software\\Vantorell\\Quorix\\Config";

  // The defaults of a fresh installation; LogPath below the per-user data folder. Raises
  // EQuorixException when no home folder is known to put it in.
  TConfig();
  ~TConfig() override;

  TConfig(const TConfig&) = delete;
  TConfig& operator=(const TConfig&) = delete;

  [[nodiscard]] std::string ClassName() const override { return "TConfig"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;

  void AddRef() noexcept;
  // Drops one reference; deletes the instance when it was the last.
  void Release() noexcept;
  [[nodiscard]] int RefCount() const noexcept;

  // Copies the options and, deeply, the accounts, overrides, profiles and allowed providers.
  // Another class raises EConvertError "Cannot assign a %s to a %s".
  void Assign(const TStoreableObject& source) override;

  // ConfigVersion becomes 1; writes the options (deleting the never-stored
  // "AllowedWebBugProvidersList"), then the lists to key + "\Accounts", "\AddressOverrides"
  // and "\SecurityProfiles". Registry errors propagate.
  void SaveToRegistry(TExtRegistry& registry, const std::string& key) override;
  // The options, then the three lists.
  void CheckCanBeStored() const override;

  // Reads the options and the three lists. A key without values is a fresh installation
  // (ConfigVersion 1, LogsNeedSplitting false). Values without a "KeepLogsForDays" set
  // LogsNeedSplitting; values without a "ConfigVersion" have an "xnk"-only extension list of
  // message/external-body emptied in every profile. True if anything was found. Registry
  // errors propagate with the value or file named.
  bool LoadFromRegistry(TExtRegistry& registry, const std::string& key) override;

  // Loads from RegistryKey below HKEY_CURRENT_USER of the store (default: the process's).
  bool LoadConfigFromRegistry();
  bool LoadConfigFromRegistry(TRegistryStore& store);
  // Saves to RegistryKey, writes the store to disk (so a file that cannot be written raises
  // ERegistryException naming it here), then applies LaunchOnStartup (SaveLaunchOnStartup).
  void SaveConfigToRegistry();
  void SaveConfigToRegistry(TRegistryStore& store);

  // Starts the program at log-on, minimised, while LaunchOnStartup holds: writes the
  // autostart entry ($XDG_CONFIG_HOME/autostart/quorix.desktop, the executable in quotes and
  // "/minimize"); otherwise removes it if present. The registry object's root key and
  // current key are left as they were. Failures raise EQuorixException naming the file.
  void SaveLaunchOnStartup(TExtRegistry& registry) const;

  [[nodiscard]] int KeepLogsForDays() const { return keepLogsForDays_; }
  // Also clears LogsNeedSplitting: a stored retention setting means the logs were split.
  void SetKeepLogsForDays(int value);

  // True after a load of values written before logs were kept per day (no "KeepLogsForDays").
  [[nodiscard]] bool LogsNeedSplitting() const noexcept { return logsNeedSplitting_; }

  // SummaryPeriodLengths at the frequency; a value outside 0..4 gives 0 (never).
  [[nodiscard]] int PopupSummaryFrequencyDays() const noexcept;
  [[nodiscard]] int EmailSummaryFrequencyDays() const noexcept;

  [[nodiscard]] const std::vector<std::string>& GetAllowedWebBugProviders() const noexcept {
    return allowedWebBugProviders_;
  }
  void SetAllowedWebBugProviders(std::vector<std::string> providers) {
    allowedWebBugProviders_ = std::move(providers);
  }
  // The list as comma text (CommaText.h); the setter reads any text without failing.
  [[nodiscard]] std::string GetAllowedWebBugProvidersList() const;
  void SetAllowedWebBugProvidersList(const std::string& text);

  // Published options with their defaults.
  int ConfigVersion = 1;
  bool MinimizeToTray = true;
  bool LaunchOnStartup = true;
  int PopupSummaryFrequency = 3;  // index into SummaryPeriodLengths
  int EmailSummaryFrequency = 0;  // index into SummaryPeriodLengths
  std::string EmailSummaryAddress;
  std::string EmailSummarySMTPServer;
  bool AddEmailFooter = true;
  bool UpdateReceivedDate = false;
  bool UseSenderAddress = false;
  int ListenPort = 110;
  std::string LogPath;  // ends with "/"

  TAccounts Accounts;
  TAddressOverrides AddressOverrides;
  TSecurityProfiles SecurityProfiles;

 private:
  void EmptyEarlierExternalBodyExtensions();

  int keepLogsForDays_ = 28;  // -1: message logging off
  bool logsNeedSplitting_ = false;
  std::vector<std::string> allowedWebBugProviders_;
  std::atomic<int> refCount_{0};
};
