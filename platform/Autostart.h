#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The log-on autostart entry: an XDG Desktop Entry in $XDG_CONFIG_HOME/autostart that the
// desktop session runs at log-on. Failures raise EQuorixException naming the file and the
// cause.
namespace Platform {

// ConfigHomeDirectory()/autostart/quorix.desktop.
[[nodiscard]] std::filesystem::path AutostartEntryPath();

// Writes the entry atomically, creating the folder:
//   [Desktop Entry]
//   Type=Application
//   Name=Quorix
//   Exec="<executable>" <arguments>
// The executable is quoted by the Desktop Entry rules ('"', '`', '$' and '\' escaped by a
// backslash inside the quotes, '%' doubled), then the whole Exec value is escaped at the
// string level ('\' as "\\", line breaks and tabs as "\n", "\r", "\t"); so a '\' in the
// path appears as four. `arguments` is Exec text as it stands (for example "/minimize") and
// is only string-escaped; without arguments the Exec value is the quoted executable alone.
// An executable path that is not valid UTF-8 cannot be written in a desktop file and is
// refused.
void WriteAutostartEntry(const std::string& executable, const std::string& arguments);

// Removes the entry; no error if there is none.
void RemoveAutostartEntry();

// The Exec value of the entry's [Desktop Entry] group, with the string-level escapes
// resolved: for an entry written above, '"<quoted executable>" <arguments>'. Nothing if
// there is no entry or it has no Exec line.
[[nodiscard]] std::optional<std::string> ReadAutostartExec();

}  // namespace Platform
