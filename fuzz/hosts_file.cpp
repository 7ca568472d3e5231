// The hosts file manager on arbitrary bytes as the hosts file, with a set of accounts chosen
// by the first byte. Bringing the block in line with the accounts must leave every byte
// outside the block as it was, give every account's local name one of our addresses (no two
// alike in the block), keep nothing else of ours, and a second run must change nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/AsciiCase.h"
#include "config/TAccount.h"
#include "config/TAccounts.h"
#include "fuzz/FuzzCheck.h"
#include "integration/ApplyHostsFileChanges.h"
#include "integration/EHostsFileException.h"
#include "integration/THostsManager.h"

namespace {

constexpr std::string_view kBegin = "# Begin QX";
constexpr std::string_view kEnd = "# End QX";

// Start offsets of the lines whose text (without CR LF or LF) is exactly `marker`.
std::vector<std::size_t> MarkerLines(std::string_view text, std::string_view marker) {
  std::vector<std::size_t> starts;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t lf = text.find('\n', start);
    const std::size_t stop = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') {  // CR LF, or a CR LF cut off at the end
      line.remove_suffix(1);
    }
    if (line == marker) {
      starts.push_back(start);
    }
    start = lf == std::string_view::npos ? text.size() : lf + 1;
  }
  return starts;
}

std::size_t LineEnd(std::string_view text, std::size_t start) {
  const std::size_t lf = text.find('\n', start);
  return lf == std::string_view::npos ? text.size() : lf + 1;
}

void CheckOutsideUnchanged(std::string_view before, std::string_view after, bool accounts) {
  const std::vector<std::size_t> begins = MarkerLines(before, kBegin);
  const std::vector<std::size_t> ends = MarkerLines(before, kEnd);
  if (begins.empty() && ends.empty()) {
    if (!accounts || after == before) {
      // the user's own lines may already give every account's name one of our addresses
      check(accounts || after == before, "no block and no accounts: nothing changes");
      return;
    }
    check(after.starts_with(before), "a new block is only appended");
    std::string_view added = after.substr(before.size());
    while (!added.empty() && (added.front() == '\r' || added.front() == '\n')) {
      added.remove_prefix(1);
    }
    check(added.starts_with(kBegin), "only line ends come before the new block");
    return;
  }
  if (begins.size() != 1 || ends.size() != 1 || ends[0] < begins[0]) {
    return;  // a damaged block is repaired around its marker; the table tests pin that down
  }
  const std::string_view prefix = before.substr(0, begins[0]);
  const std::string_view suffix = before.substr(LineEnd(before, ends[0]));
  check(after.starts_with(prefix) && after.substr(prefix.size()).starts_with(kBegin), "bytes before the block kept");
  check(after.ends_with(suffix), "bytes after the block kept");
  const std::string_view endLine = before.substr(ends[0], LineEnd(before, ends[0]) - ends[0]);
  check(after.substr(0, after.size() - suffix.size()).ends_with(endLine), "the end marker line kept");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  static const std::vector<std::string> kServers = {"pop.example.org", "MAIL.example.net", "qx.10.0.0.5", "10.0.0.5"};
  TAccounts accounts;
  std::vector<std::string> aliases;
  std::vector<std::string> servers;  // a server's own record ("qx." + address) is kept too
  for (std::size_t i = 0; i < kServers.size(); ++i) {
    if ((data[0] >> i) & 1U) {
      accounts.AddAccount(std::make_unique<TAccount>(kServers[i], 110, "Medium"));
      aliases.push_back(TAccounts::MakeLocalHostname(kServers[i]));
      servers.push_back(kServers[i]);
    }
  }
  const std::string_view before(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto hosts = THostsManager::QuorixHostsText(before);
  try {
    ApplyHostsFileChanges(*hosts, accounts);
  } catch (const EHostsFileException&) {
    return 0;  // a name of ours that the user's own line maps elsewhere, or no free address
  }
  const std::string after = hosts->NewText();
  CheckOutsideUnchanged(before, after, !aliases.empty());

  auto reread = THostsManager::QuorixHostsText(after);
  std::set<std::string> wanted;
  for (const std::string& alias : aliases) {
    wanted.insert(asciiLowerCase(alias));
    const THostRecord* record = reread->findByHostName(alias);
    check(record != nullptr && reread->IsValidQXip(record->Ip), "every account's local name has one of our addresses");
  }
  for (const std::string& server : servers) {
    wanted.insert(asciiLowerCase(server));
  }
  std::set<std::string> names;
  std::set<std::string> addresses;
  for (const auto& record : reread->Records()) {
    if (!record->IsOurs || !record->check() || !reread->IsValidQXip(record->Ip)) {
      continue;
    }
    check(wanted.contains(asciiLowerCase(record->HostName)), "no local name of ours without an account");
    check(names.insert(asciiLowerCase(record->HostName)).second, "each local name once in the block");
    check(addresses.insert(record->Ip).second, "each address of ours once in the block");
  }

  ApplyHostsFileChanges(*reread, accounts);
  check(reread->NewText() == after, "a second run with the same accounts changes nothing");
  return 0;
}
