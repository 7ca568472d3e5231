#pragma once

#include <memory>
#include <string>

#include "config/TPublishedProperty.h"

class TExtRegistry;
class TStoreableObject;

// A class reference: creates a default-constructed object of one storeable class, so that a
// list container can create the items it reads from the registry.
using TStoreableObjectClass = std::unique_ptr<TStoreableObject> (*)();

template <class T>
std::unique_ptr<TStoreableObject> CreateStoreable() {
  return std::make_unique<T>();
}

// Base of every persisted settings object. Its persisted state is the table of published
// properties that the class declares; each property is one registry value of the same name
// in the object's key (see TPublishedProperty.h for the kinds and registry types).
class TStoreableObject {
 public:
  virtual ~TStoreableObject();

  // The class's name as it appears in error texts ("TAccount").
  [[nodiscard]] virtual std::string ClassName() const = 0;

  // The class's published properties; none by default.
  [[nodiscard]] virtual const TPropertyTable& PublishedProperties() const;

  // Copies every published property (stored or not) from an object of exactly the same
  // class. Any other source raises EConvertError "Cannot assign a %s to a %s". Subclasses
  // that own sub-objects copy those after calling this.
  virtual void Assign(const TStoreableObject& source);

  // Opens `key` (an absolute path, created if absent) and writes every published property in
  // alphabetical order; a property that is not stored has its value deleted instead. The
  // registry's previous current key is reopened afterwards, also when an error propagates.
  // CheckCanBeStored() runs first, so an object that cannot be stored writes nothing.
  // Errors: ERegistryException "Failed to set data for '%s'", and those of CheckCanBeStored.
  virtual void SaveToRegistry(TExtRegistry& registry, const std::string& key);

  // Raises ERegistryException if this object and what it owns could not be saved so that
  // they load back the same, before a save writes anything: an ordinal property wider than
  // a DWORD ("Failed to set data for '%s'"), a list item whose name cannot be one key name
  // (ERegistryException::UnstorableKeyName). Classes that own lists check them after
  // calling this.
  virtual void CheckCanBeStored() const;

  // Opens `key` (created if absent) and reads every published property that has a value,
  // in alphabetical order, through its setter; properties without a value keep their
  // current (constructor) values. True if at least one value was found. The previous
  // current key is reopened afterwards. Errors: ERegistryException "Invalid data type for
  // '%s'" for a value of the wrong type; the properties read before it keep their values.
  virtual bool LoadFromRegistry(TExtRegistry& registry, const std::string& key);

 protected:
  TStoreableObject() = default;
  TStoreableObject(const TStoreableObject&) = default;
  TStoreableObject& operator=(const TStoreableObject&) = default;
};
