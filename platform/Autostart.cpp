#include "platform/Autostart.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "common/EQuorixException.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/QuotedPath.h"
#include "platform/UnicodeText.h"

namespace Platform {
namespace {

constexpr mode_t kEntryMode = 0644;

// Quoting inside an Exec argument.
std::string QuoteExecArgument(std::string_view argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') {
      quoted += '\\';
    } else if (c == '%') {
      quoted += '%';  // a lone '%' would start a field code
    }
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// The escapes of a desktop file's string values, applied on top of the Exec quoting.
std::string EscapeStringValue(std::string_view value) {
  std::string escaped;
  for (const char c : value) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string UnescapeStringValue(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        text += ' ';
        break;
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      case 't':
        text += '\t';
        break;
      case '\\':
        text += '\\';
        break;
      default:  // not an escape of the string level: it belongs to the Exec quoting
        text += '\\';
        text += value[i];
    }
  }
  return text;
}

std::string_view Trim(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) {
    return {};
  }
  const std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(start, end - start + 1);
}

}  // namespace

std::filesystem::path AutostartEntryPath() {
  return ConfigHomeDirectory() / "autostart" / "quorix.desktop";
}

void WriteAutostartEntry(const std::string& executable, const std::string& arguments) {
  const std::filesystem::path file = AutostartEntryPath();
  if (!IsValidUtf8(executable) || !IsValidUtf8(arguments)) {
    throw EQuorixException("Cannot write the autostart entry " + QuotedPath(file) +
                           ": the program's path or arguments are not valid UTF-8");
  }
  std::string exec = QuoteExecArgument(executable);
  if (!arguments.empty()) {
    exec += ' ';
    exec += arguments;
  }
  const std::string contents =
      "[Desktop Entry]\nType=Application\nName=Quorix\nExec=" + EscapeStringValue(exec) + "\n";
  try {
    ReplaceFileAtomically(file, contents, kEntryMode);
  } catch (const std::system_error& error) {
    throw EQuorixException("Cannot write the autostart entry " + QuotedPath(file) + ": " + error.what());
  }
}

void RemoveAutostartEntry() {
  const std::filesystem::path file = AutostartEntryPath();
  // unlink, not remove(): a folder of that name is not ours to delete.
  if (::unlink(file.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
    throw EQuorixException("Cannot remove the autostart entry " + QuotedPath(file) + ": " +
                           std::generic_category().message(errno));
  }
}

std::optional<std::string> ReadAutostartExec() {
  const std::filesystem::path file = AutostartEntryPath();
  std::optional<std::string> contents;
  try {
    contents = ReadFileIfExists(file);
  } catch (const std::system_error& error) {
    throw EQuorixException("Cannot read the autostart entry " + QuotedPath(file) + ": " + error.what());
  }
  if (!contents) {
    return std::nullopt;
  }
  bool inDesktopEntry = false;
  std::string_view rest = *contents;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty() || line.front() == '#') {
      continue;
    }
    if (line.front() == '[') {
      inDesktopEntry = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inDesktopEntry && equals != std::string_view::npos && Trim(line.substr(0, equals)) == "Exec") {
      return UnescapeStringValue(Trim(line.substr(equals + 1)));
    }
  }
  return std::nullopt;
}

}  // namespace Platform
