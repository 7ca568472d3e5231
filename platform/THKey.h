#pragma once

#include <cstdint>

// The registry roots the program uses.
//  - HKEY_CURRENT_USER: the user's settings, kept in the settings file (read and write).
//  - HKEY_CLASSES_ROOT: a read-only view; "MIME\Database\Content Type\<type>" keys carry an
//    "Extension" value (".ext") built from the system MIME database.
//  - HKEY_LOCAL_MACHINE: present but empty on Linux (lookups of other programs' machine-wide
//    settings find nothing).
enum class THKey : std::uint8_t {
  HKEY_CLASSES_ROOT,
  HKEY_CURRENT_USER,
  HKEY_LOCAL_MACHINE,
};
