#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "common/AsciiCase.h"

class TStoreableObject;

// How a published property is persisted.
enum class TPropertyKind : std::uint8_t {
  Ordinal,  // integers, characters, enumerations, Booleans: REG_DWORD holding the ordinal value
  Float,    // doubles, dates: REG_BINARY holding the 8-byte IEEE 754 double
  String,   // REG_SZ
};

// Ordinal properties travel as int64, floats as double, strings as std::string.
using TPropertyValue = std::variant<std::int64_t, double, std::string>;

// One persisted setting of a class: its registry value name (exactly the property's name),
// its kind, whether it is stored, and type-erased accessors. A property that is not stored
// is still read on load (values of earlier versions) but never written; saving deletes it.
struct TPublishedProperty {
  std::string Name;
  TPropertyKind Kind = TPropertyKind::Ordinal;
  bool Stored = true;
  std::function<TPropertyValue(const TStoreableObject&)> Get;
  std::function<void(TStoreableObject&, const TPropertyValue&)> Set;
};

// The published properties of one class, declared once per class, kept in alphabetical order
// of their names (ASCII letter case ignored), which is the order save and load process them.
class TPropertyTable {
 public:
  TPropertyTable(std::initializer_list<TPublishedProperty> properties) : properties_(properties) {
    std::stable_sort(properties_.begin(), properties_.end(), [](const auto& a, const auto& b) {
      return caseInsensitiveCompare(a.Name, b.Name) < 0;
    });
  }

  [[nodiscard]] auto begin() const noexcept { return properties_.begin(); }
  [[nodiscard]] auto end() const noexcept { return properties_.end(); }
  [[nodiscard]] std::size_t size() const noexcept { return properties_.size(); }

  // The property of that name (letter case ignored), or null.
  [[nodiscard]] const TPublishedProperty* Find(std::string_view name) const noexcept {
    for (const auto& property : properties_) {
      if (caseInsensitiveEquals(property.Name, name)) {
        return &property;
      }
    }
    return nullptr;
  }

 private:
  std::vector<TPublishedProperty> properties_;
};

namespace PublishedDetail {

template <class T>
constexpr TPropertyKind KindOf() {
  using V = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<V, std::string>) {
    return TPropertyKind::String;
  } else if constexpr (std::is_floating_point_v<V>) {
    return TPropertyKind::Float;
  } else {
    static_assert(std::is_integral_v<V> || std::is_enum_v<V>, "unsupported published property type");
    return TPropertyKind::Ordinal;
  }
}

template <class T>
TPropertyValue ToValue(const T& value) {
  using V = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<V, std::string>) {
    return value;
  } else if constexpr (std::is_floating_point_v<V>) {
    return static_cast<double>(value);
  } else {
    return static_cast<std::int64_t>(value);
  }
}

// Stored ordinals are accepted whatever their value: any non-zero Boolean is True, and an
// enumeration takes the stored number as it is.
template <class T>
T FromValue(const TPropertyValue& value) {
  using V = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<V, std::string>) {
    return std::get<std::string>(value);
  } else if constexpr (std::is_floating_point_v<V>) {
    return static_cast<V>(std::get<double>(value));
  } else if constexpr (std::is_same_v<V, bool>) {
    return std::get<std::int64_t>(value) != 0;
  } else {
    return static_cast<V>(std::get<std::int64_t>(value));
  }
}

}  // namespace PublishedDetail

// A property backed directly by a data member of C.
template <class C, class T>
  requires(!std::is_function_v<T>)  // member functions take the getter/setter overload below
TPublishedProperty Published(std::string name, T C::*field, bool stored = true) {
  return TPublishedProperty{
      std::move(name), PublishedDetail::KindOf<T>(), stored,
      [field](const TStoreableObject& object) {
        return PublishedDetail::ToValue(static_cast<const C&>(object).*field);
      },
      [field](TStoreableObject& object, const TPropertyValue& value) {
        static_cast<C&>(object).*field = PublishedDetail::FromValue<T>(value);
      }};
}

// A property with a getter and a setter of C (the setter may have side effects, for example
// a migration flag, or convert a text form into a list).
template <class C, class G, class S>
TPublishedProperty Published(std::string name, G (C::*getter)() const, void (C::*setter)(S), bool stored = true) {
  return TPublishedProperty{
      std::move(name), PublishedDetail::KindOf<G>(), stored,
      [getter](const TStoreableObject& object) {
        return PublishedDetail::ToValue((static_cast<const C&>(object).*getter)());
      },
      [setter](TStoreableObject& object, const TPropertyValue& value) {
        (static_cast<C&>(object).*setter)(PublishedDetail::FromValue<std::remove_cvref_t<S>>(value));
      }};
}
