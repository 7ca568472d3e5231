#include "config/TListContainerBase.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "config/TExtRegistry.h"
#include "config/TRegistryKeyGuard.h"
#include "platform/ERegistryException.h"

namespace {

std::string SubkeyPath(const std::string& key, const std::string& name) {
  std::string path = key;
  path += '\\';
  path += name;
  return path;
}

}  // namespace

TListContainerBase::TListContainerBase(TStoreableObjectClass itemClass) : itemClass_(itemClass) {}

// Clear() is virtual, but during destruction the subclass (and its storage) is gone already;
// each subclass's own storage frees its items.
TListContainerBase::~TListContainerBase() = default;

void TListContainerBase::Clear() {
  while (GetCount() > 0) {
    Delete(GetCount() - 1);
  }
}

void TListContainerBase::Assign(const TStoreableObject& source) {
  const auto* list = dynamic_cast<const TListContainerBase*>(&source);
  if (list == nullptr) {
    TStoreableObject::Assign(source);
    return;
  }
  if (list == this) {
    return;  // clearing first would destroy the source
  }
  // The copies are made before anything is cleared, so a source whose items cannot be
  // assigned to this list's item class leaves this list as it was.
  std::vector<std::pair<std::string, std::unique_ptr<TStoreableObject>>> copies;
  copies.reserve(static_cast<std::size_t>(std::max(list->GetCount(), 0)));
  for (int i = 0; i < list->GetCount(); ++i) {
    std::unique_ptr<TStoreableObject> item = itemClass_();
    item->Assign(*list->GetObjectByIndex(i));
    copies.emplace_back(list->StorageIdentifier(i), std::move(item));
  }
  Clear();
  for (auto& [identifier, item] : copies) {
    AddFromStorage(identifier, std::move(item));
  }
}

void TListContainerBase::CheckCanBeStored() const {
  std::vector<std::string> identifiers;
  identifiers.reserve(static_cast<std::size_t>(std::max(GetCount(), 0)));
  for (int i = 0; i < GetCount(); ++i) {
    std::string identifier = StorageIdentifier(i);
    const std::string_view problem = TRegistry::KeyNameProblem(identifier);
    if (!problem.empty()) {
      throw ERegistryException::UnstorableKeyName(identifier, problem);
    }
    // Two items of one key would load back as one.
    for (const std::string& earlier : identifiers) {
      if (caseInsensitiveEquals(earlier, identifier)) {
        throw ERegistryException::UnstorableKeyName(
            identifier, "another item is named '" + earlier + "', and key names ignore letter case");
      }
    }
    identifiers.push_back(std::move(identifier));
    GetObjectByIndex(i)->CheckCanBeStored();
  }
}

void TListContainerBase::SaveToRegistry(TExtRegistry& registry, const std::string& key) {
  CheckCanBeStored();
  TRegistryKeyGuard guard(registry, key);
  std::vector<std::string> stale = registry.GetKeyNames();
  for (int i = 0; i < GetCount(); ++i) {
    const std::string identifier = StorageIdentifier(i);
    GetObjectByIndex(i)->SaveToRegistry(registry, SubkeyPath(key, identifier));
    // Subkey names ignore letter case: an item saved as "A" has just been written into an
    // existing "a", which therefore must survive the clean-up below.
    std::erase_if(stale, [&](const std::string& name) { return caseInsensitiveEquals(name, identifier); });
  }
  for (const std::string& name : stale) {
    registry.DeleteKey(name);
  }
}

bool TListContainerBase::LoadFromRegistry(TExtRegistry& registry, const std::string& key) {
  Clear();
  TRegistryKeyGuard guard(registry, key);
  const std::vector<std::string> names = registry.GetKeyNames();
  for (const std::string& name : names) {
    std::unique_ptr<TStoreableObject> item = itemClass_();
    item->LoadFromRegistry(registry, SubkeyPath(key, name));
    AddFromStorage(name, std::move(item));
  }
  return !names.empty();
}
