#include "config/TApplicationState.h"

#include "config/TExtRegistry.h"
#include "platform/THKey.h"
#include "platform/TRegistryStore.h"

TApplicationState::TApplicationState()
    : LastPopupSummaryDate(Today()), LastEmailedSummaryDate(LastPopupSummaryDate) {}

const TPropertyTable& TApplicationState::PublishedProperties() const {
  using S = TApplicationState;
  static const TPropertyTable table{
      Published("ShowAdvanced", &S::ShowAdvanced),
      Published("SummaryDialogTab", &S::SummaryDialogTab),
      Published("SummaryScreen", &S::SummaryScreen),
      Published("SummaryInterval", &S::SummaryInterval),
      Published("SummaryShowExplanations", &S::SummaryShowExplanations),
      Published("LastPopupSummaryDate", &S::LastPopupSummaryDate),
      Published("LastEmailedSummaryDate", &S::LastEmailedSummaryDate),
  };
  return table;
}

bool TApplicationState::LoadStateFromRegistry() {
  return LoadStateFromRegistry(TRegistryStore::Instance());
}

bool TApplicationState::LoadStateFromRegistry(TRegistryStore& store) {
  TExtRegistry registry(store);
  registry.SetRootKey(THKey::HKEY_CURRENT_USER);
  return LoadFromRegistry(registry, RegistryKey);
}

void TApplicationState::SaveStateToRegistry() {
  SaveStateToRegistry(TRegistryStore::Instance());
}

void TApplicationState::SaveStateToRegistry(TRegistryStore& store) {
  TExtRegistry registry(store);
  registry.SetRootKey(THKey::HKEY_CURRENT_USER);
  SaveToRegistry(registry, RegistryKey);
  registry.Flush();
}
