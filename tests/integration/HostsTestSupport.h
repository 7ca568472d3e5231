#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/TAccount.h"
#include "config/TAccounts.h"

namespace HostsTest {

inline TAccounts AccountsFor(const std::vector<std::string>& servers) {
  TAccounts accounts;
  for (const std::string& server : servers) {
    accounts.AddAccount(std::make_unique<TAccount>(server, 110, "Medium"));
  }
  return accounts;
}

// One of the program's lines as the manager writes it.
inline std::string Ours(std::string_view ip, std::string_view name, std::string_view eol = "\n") {
  return std::string(ip) + std::string(24, ' ') + std::string(name) + "  " + std::string(eol);
}

// nss_wrapper's hosts parser (a test tool) knows no comments: the first comment line makes
// it drop the whole file. This is the file as it can read it: comment and blank lines left
// out, a comment after the names cut off. The real resolver reads the file itself.
inline std::string ForNssWrapper(std::string_view hosts) {
  std::string result;
  while (!hosts.empty()) {
    const std::size_t lf = hosts.find('\n');
    std::string_view line = hosts.substr(0, lf);
    hosts.remove_prefix(lf == std::string_view::npos ? hosts.size() : lf + 1);
    line = line.substr(0, line.find('#'));
    if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
      result.append(line);
      result += '\n';
    }
  }
  return result;
}

}  // namespace HostsTest
