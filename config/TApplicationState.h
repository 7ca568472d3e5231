#pragma once

#include <string>

#include "common/TDateTime.h"
#include "config/TStoreableObject.h"

class TRegistryStore;

// What the user interface remembers between runs.
class TApplicationState : public TStoreableObject {
 public:
  // The registry key of the state below HKEY_CURRENT_USER.
  static constexpr const char* RegistryKey = "\\Software\\Vantorell\\Quorix\\State";

  // The defaults of a first start; both summary dates are today, so the first automatic
  // summaries fall due one period after installation.
  TApplicationState();

  [[nodiscard]] std::string ClassName() const override { return "TApplicationState"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;

  // Loads from RegistryKey below HKEY_CURRENT_USER of the store (default: the process's).
  // True if any value was found. Registry errors propagate with the value or file named.
  bool LoadStateFromRegistry();
  bool LoadStateFromRegistry(TRegistryStore& store);
  // Saves to RegistryKey and writes the store to disk, so a file that cannot be written
  // raises ERegistryException naming it here.
  void SaveStateToRegistry();
  void SaveStateToRegistry(TRegistryStore& store);

  // Published, with their defaults. The dates are day numbers stored as 8-byte doubles.
  bool ShowAdvanced = false;
  int SummaryDialogTab = 0;
  int SummaryScreen = 0;
  int SummaryInterval = 0;
  bool SummaryShowExplanations = true;
  TDateTime LastPopupSummaryDate = 0;
  TDateTime LastEmailedSummaryDate = 0;
};
