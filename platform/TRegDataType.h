#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The value types the settings use, named as the Windows registry names them.
enum class TRegDataType : std::uint8_t {
  rdUnknown,       // no such value
  rdString,        // REG_SZ
  rdExpandString,  // REG_EXPAND_SZ
  rdInteger,       // REG_DWORD
  rdBinary,        // REG_BINARY
};

// One stored value. Strings are narrow (UTF-8 on Linux) and may hold any bytes; only the
// member that matches `Type` is meaningful.
struct TRegValue {
  TRegDataType Type = TRegDataType::rdUnknown;
  std::string Text;                  // rdString, rdExpandString
  std::uint32_t Dword = 0;           // rdInteger
  std::vector<std::uint8_t> Binary;  // rdBinary

  friend bool operator==(const TRegValue&, const TRegValue&) = default;
};
