#pragma once

#include <string>
#include <string_view>
#include <vector>

// A hosts file as lines that give back the file's exact bytes: each line keeps its own line
// end ("\n", "\r\n", or nothing for a last line without one). Only LF ends a line, as for
// the resolver; a CR not followed by LF stays inside the line's text, except at the very end
// of the file, where it is the rest of a cut-off CR LF (line end "\r").
struct THostsFileLine {
  std::string Text;
  std::string LineEnd;

  bool operator==(const THostsFileLine&) const = default;
};

namespace HostsFileLines {

[[nodiscard]] std::vector<THostsFileLine> Split(std::string_view file);
[[nodiscard]] std::string Join(const std::vector<THostsFileLine>& lines);

// The line end most lines of the file have ("\r\n" only where CR LF lines are the majority),
// for the lines this program adds.
[[nodiscard]] std::string Dominant(const std::vector<THostsFileLine>& lines);

}  // namespace HostsFileLines
