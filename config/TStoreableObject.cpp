#include "config/TStoreableObject.h"

#include <cstdint>
#include <limits>
#include <typeinfo>
#include <variant>

#include "config/EConvertError.h"
#include "config/TExtRegistry.h"
#include "config/TRegistryKeyGuard.h"
#include "platform/ERegistryException.h"

namespace {

// A DWORD holds 32 bits: signed properties round-trip down to INT32_MIN and unsigned ones up
// to UINT32_MAX. Anything wider would come back as a different number, so it is refused
// rather than cut.
bool FitsADword(std::int64_t ordinal) noexcept {
  return ordinal >= std::numeric_limits<std::int32_t>::min() && ordinal <= std::numeric_limits<std::uint32_t>::max();
}

void WriteProperty(TExtRegistry& registry, const TPublishedProperty& property,
                   const TStoreableObject& object) {
  const TPropertyValue value = property.Get(object);
  switch (property.Kind) {
    case TPropertyKind::Ordinal: {
      const std::int64_t ordinal = std::get<std::int64_t>(value);
      if (!FitsADword(ordinal)) {
        throw ERegistryException::SetDataFailed(property.Name);
      }
      registry.WriteInteger(property.Name, static_cast<std::int32_t>(static_cast<std::uint32_t>(ordinal)));
      break;
    }
    case TPropertyKind::Float:
      registry.WriteFloat(property.Name, std::get<double>(value));
      break;
    case TPropertyKind::String:
      registry.WriteString(property.Name, std::get<std::string>(value));
      break;
  }
}

// The typed reads check the value's type and raise "Invalid data type for '%s'".
TPropertyValue ReadProperty(const TExtRegistry& registry, const TPublishedProperty& property) {
  switch (property.Kind) {
    case TPropertyKind::Ordinal:
      return static_cast<std::int64_t>(registry.ReadInteger(property.Name));
    case TPropertyKind::Float:
      return registry.ReadFloat(property.Name);
    case TPropertyKind::String:
      return registry.ReadString(property.Name);
  }
  throw ERegistryException::InvalidDataType(property.Name);
}

}  // namespace

TStoreableObject::~TStoreableObject() = default;

const TPropertyTable& TStoreableObject::PublishedProperties() const {
  static const TPropertyTable none{};
  return none;
}

void TStoreableObject::Assign(const TStoreableObject& source) {
  if (typeid(source) != typeid(*this)) {
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
  }
  for (const TPublishedProperty& property : PublishedProperties()) {
    property.Set(*this, property.Get(source));
  }
}

void TStoreableObject::CheckCanBeStored() const {
  for (const TPublishedProperty& property : PublishedProperties()) {
    if (property.Stored && property.Kind == TPropertyKind::Ordinal &&
        !FitsADword(std::get<std::int64_t>(property.Get(*this)))) {
      throw ERegistryException::SetDataFailed(property.Name);
    }
  }
}

void TStoreableObject::SaveToRegistry(TExtRegistry& registry, const std::string& key) {
  CheckCanBeStored();
  TRegistryKeyGuard guard(registry, key);
  for (const TPublishedProperty& property : PublishedProperties()) {
    if (!property.Stored) {
      if (registry.ValueExists(property.Name)) {
        registry.DeleteValue(property.Name);
      }
      continue;
    }
    WriteProperty(registry, property, *this);
  }
}

bool TStoreableObject::LoadFromRegistry(TExtRegistry& registry, const std::string& key) {
  TRegistryKeyGuard guard(registry, key);
  bool found = false;
  for (const TPublishedProperty& property : PublishedProperties()) {
    if (registry.ValueExists(property.Name)) {
      property.Set(*this, ReadProperty(registry, property));
      found = true;
    }
  }
  return found;
}
