#include "integration/HostsFileLines.h"

#include <cstddef>

namespace HostsFileLines {

std::vector<THostsFileLine> Split(std::string_view file) {
  std::vector<THostsFileLine> lines;
  while (!file.empty()) {
    const std::size_t lf = file.find('\n');
    if (lf == std::string_view::npos) {
      // A file cut off between the CR and the LF of its last line: the CR is that line's
      // end, so that completing the line end later does not change the line's text.
      const bool cr = file.back() == '\r';
      lines.push_back({std::string(file.substr(0, file.size() - (cr ? 1 : 0))), cr ? "\r" : ""});
      break;
    }
    const bool crlf = lf > 0 && file[lf - 1] == '\r';
    const std::size_t textLength = crlf ? lf - 1 : lf;
    lines.push_back({std::string(file.substr(0, textLength)), crlf ? "\r\n" : "\n"});
    file.remove_prefix(lf + 1);
  }
  return lines;
}

std::string Join(const std::vector<THostsFileLine>& lines) {
  std::string file;
  for (const THostsFileLine& line : lines) {
    file += line.Text;
    file += line.LineEnd;
  }
  return file;
}

std::string Dominant(const std::vector<THostsFileLine>& lines) {
  std::size_t crlf = 0;
  std::size_t lf = 0;
  for (const THostsFileLine& line : lines) {
    if (line.LineEnd == "\r\n") {
      ++crlf;
    } else if (line.LineEnd == "\n") {
      ++lf;
    }
  }
  return crlf > lf ? "\r\n" : "\n";
}

}  // namespace HostsFileLines
