#include "config/TRegistryKeyGuard.h"

#include "config/TExtRegistry.h"
#include "platform/ERegistryException.h"

TRegistryKeyGuard::TRegistryKeyGuard(TExtRegistry& registry, std::string_view key)
    : registry_(registry), hadKey_(registry.HasCurrentKey()), rememberedPath_("\\" + registry.CurrentPath()) {
  bool opened = false;
  try {
    registry_.CloseKey();
    opened = registry_.OpenKey(key, true);
  } catch (...) {
    Restore();
    throw;
  }
  if (!opened) {
    Restore();
    throw ERegistryException::CannotOpenKey(key);
  }
}

TRegistryKeyGuard::~TRegistryKeyGuard() {
  Restore();
}

void TRegistryKeyGuard::Restore() noexcept {
  try {
    registry_.CloseKey();
    if (hadKey_) {
      registry_.OpenKey(rememberedPath_, true);
    }
  } catch (...) {
    // A destructor must not throw, and the error that may be on its way out says more than
    // a failure to reopen the caller's key would; the caller's next access reports that.
  }
}
