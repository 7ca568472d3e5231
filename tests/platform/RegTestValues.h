#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/TRegDataType.h"

// Short constructors for the values that the tests compare.
inline TRegValue SzValue(std::string text) {
  return {TRegDataType::rdString, std::move(text), 0, {}};
}
inline TRegValue ExpandValue(std::string text) {
  return {TRegDataType::rdExpandString, std::move(text), 0, {}};
}
inline TRegValue DwordValue(std::uint32_t number) {
  return {TRegDataType::rdInteger, {}, number, {}};
}
inline TRegValue BinaryValue(std::vector<std::uint8_t> bytes) {
  return {TRegDataType::rdBinary, {}, 0, std::move(bytes)};
}
