#pragma once

#include <string_view>

#include "platform/RegFileLines.h"
#include "platform/TRegKey.h"

// Reads a settings file's text (already decoded to narrow text) into the HKEY_CURRENT_USER
// tree: the header line, then key lines, value lines, comments and blank lines, in the forms
// RegFileFormat.h lists. Faults raise RegLineError.
class RegFileParser {
 public:
  explicit RegFileParser(std::string_view text);

  // Reads the whole text; call once.
  [[nodiscard]] TRegKey Run();

 private:
  void Header();
  void KeyLine(std::string_view line);
  void ValueLine(std::string_view line);

  RegFileLines lines_;
  TRegKey root_;
  // The key of the last key line; values go there. Stays valid: reading values adds no keys.
  TRegKey* currentKey_ = nullptr;
};
