#include "config/TConfig.h"

#include <filesystem>

#include "config/AppDataDirectory.h"
#include "config/CommaText.h"
#include "config/Globals.h"
#include "config/TExtRegistry.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "platform/THKey.h"
#include "platform/TRegistryStore.h"

TConfig::TConfig() : LogPath(getApplicationAppDataDirectory() + "/logs/") {}

TConfig::~TConfig() = default;

const TPropertyTable& TConfig::PublishedProperties() const {
  using C = TConfig;
  static const TPropertyTable table{
      Published("ConfigVersion", &C::ConfigVersion),
      Published("MinimizeToTray", &C::MinimizeToTray),
      Published("LaunchOnStartup", &C::LaunchOnStartup),
      Published("PopupSummaryFrequency", &C::PopupSummaryFrequency),
      Published("EmailSummaryFrequency", &C::EmailSummaryFrequency),
      Published("EmailSummaryAddress", &C::EmailSummaryAddress),
      Published("EmailSummarySMTPServer", &C::EmailSummarySMTPServer),
      Published("AddEmailFooter", &C::AddEmailFooter),
      Published("UpdateReceivedDate", &C::UpdateReceivedDate),
      Published("UseSenderAddress", &C::UseSenderAddress),
      Published("ListenPort", &C::ListenPort),
      Published("AllowedWebBugProvidersList", &C::GetAllowedWebBugProvidersList,
                &C::SetAllowedWebBugProvidersList, false),
      Published("LogPath", &C::LogPath),
      Published("KeepLogsForDays", &C::KeepLogsForDays, &C::SetKeepLogsForDays),
  };
  return table;
}

void TConfig::AddRef() noexcept {
  refCount_.fetch_add(1, std::memory_order_relaxed);
}

void TConfig::Release() noexcept {
  // acq_rel: the thread that deletes must see every write the other holders made before
  // letting go of their references.
  if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete this;
  }
}

int TConfig::RefCount() const noexcept {
  return refCount_.load(std::memory_order_relaxed);
}

void TConfig::Assign(const TStoreableObject& source) {
  TStoreableObject::Assign(source);
  const auto& config = static_cast<const TConfig&>(source);
  Accounts.Assign(config.Accounts);
  AddressOverrides.Assign(config.AddressOverrides);
  SecurityProfiles.Assign(config.SecurityProfiles);
  allowedWebBugProviders_ = config.allowedWebBugProviders_;
}

void TConfig::CheckCanBeStored() const {
  TStoreableObject::CheckCanBeStored();
  Accounts.CheckCanBeStored();
  AddressOverrides.CheckCanBeStored();
  SecurityProfiles.CheckCanBeStored();
}

void TConfig::SaveToRegistry(TExtRegistry& registry, const std::string& key) {
  ConfigVersion = 1;
  TStoreableObject::SaveToRegistry(registry, key);
  Accounts.SaveToRegistry(registry, key + "\\Accounts");
  AddressOverrides.SaveToRegistry(registry, key + "\\AddressOverrides");
  SecurityProfiles.SaveToRegistry(registry, key + "\\SecurityProfiles");
}

bool TConfig::LoadFromRegistry(TExtRegistry& registry, const std::string& key) {
  // Both are put right by the values themselves: a stored ConfigVersion, and a stored
  // KeepLogsForDays (its setter clears the flag).
  ConfigVersion = 0;
  logsNeedSplitting_ = true;
  const bool foundOptions = TStoreableObject::LoadFromRegistry(registry, key);
  if (!foundOptions) {
    ConfigVersion = 1;
    logsNeedSplitting_ = false;
  }
  const bool foundAccounts = Accounts.LoadFromRegistry(registry, key + "\\Accounts");
  const bool foundOverrides = AddressOverrides.LoadFromRegistry(registry, key + "\\AddressOverrides");
  const bool foundProfiles = SecurityProfiles.LoadFromRegistry(registry, key + "\\SecurityProfiles");
  if (ConfigVersion == 0) {
    EmptyEarlierExternalBodyExtensions();
  }
  return foundOptions || foundAccounts || foundOverrides || foundProfiles;
}

// Versions that predate ConfigVersion gave message/external-body the extension list "xnk" by
// mistake. Only that exact list is cleared: anything else there was entered by the user.
void TConfig::EmptyEarlierExternalBodyExtensions() {
  for (int i = 0; i < SecurityProfiles.GetCount(); ++i) {
    TSecurityProfile* profile = SecurityProfiles.GetSecurityProfile(i);
    if (profile == nullptr) {
      continue;
    }
    TAttachmentFileType* externalBody =
        profile->AttachmentFileTypes.FindFileTypeByMIMEType("message", "external-body");
    if (externalBody != nullptr && externalBody->GetExtensionsList() == "xnk") {
      externalBody->SetExtensionsList("");
    }
  }
}

bool TConfig::LoadConfigFromRegistry() {
  return LoadConfigFromRegistry(TRegistryStore::Instance());
}

bool TConfig::LoadConfigFromRegistry(TRegistryStore& store) {
  TExtRegistry registry(store);
  registry.SetRootKey(THKey::HKEY_CURRENT_USER);
  return LoadFromRegistry(registry, RegistryKey);
}

void TConfig::SaveConfigToRegistry() {
  SaveConfigToRegistry(TRegistryStore::Instance());
}

void TConfig::SaveConfigToRegistry(TRegistryStore& store) {
  TExtRegistry registry(store);
  registry.SetRootKey(THKey::HKEY_CURRENT_USER);
  SaveToRegistry(registry, RegistryKey);
  // On disk before the autostart entry is touched, so a failure there loses no settings.
  registry.Flush();
  SaveLaunchOnStartup(registry);
}

// Log-on start belongs to the desktop session here (an XDG autostart entry), not to the
// registry, so the registry object is left alone.
void TConfig::SaveLaunchOnStartup(TExtRegistry& /*registry*/) const {
  if (LaunchOnStartup) {
    Platform::WriteAutostartEntry(std::filesystem::path(Platform::ExecutablePath()).string(), "/minimize");
  } else {
    Platform::RemoveAutostartEntry();
  }
}

void TConfig::SetKeepLogsForDays(int value) {
  keepLogsForDays_ = value;
  logsNeedSplitting_ = false;
}

int TConfig::PopupSummaryFrequencyDays() const noexcept {
  return SummaryPeriodDays(PopupSummaryFrequency);
}

int TConfig::EmailSummaryFrequencyDays() const noexcept {
  return SummaryPeriodDays(EmailSummaryFrequency);
}

std::string TConfig::GetAllowedWebBugProvidersList() const {
  return JoinCommaText(allowedWebBugProviders_);
}

void TConfig::SetAllowedWebBugProvidersList(const std::string& text) {
  allowedWebBugProviders_ = SplitCommaText(text);
}
