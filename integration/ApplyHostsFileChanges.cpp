#include "integration/ApplyHostsFileChanges.h"

#include <string>

#include "config/TAccounts.h"
#include "integration/EHostsFileException.h"
#include "integration/EInvalidHostName.h"
#include "integration/HostName.h"
#include "integration/THostsManager.h"
#include "platform/QuotedPath.h"

namespace {

std::string FreeIpOrThrow(THostsManager& hosts) {
  std::string ip = hosts.findFreeIp();
  if (ip.empty()) {
    throw EHostsFileException(hosts.File(), "The hosts file " + Platform::QuotedPath(hosts.File()) +
                                                " has no free address left for Quorix"
                                                "; remove unused lines of Quorix or accounts first");
  }
  return ip;
}

}  // namespace

void ApplyHostsFileChanges(THostsManager& hosts, const TAccounts& accounts) {
  for (const auto& record : hosts.Records()) {
    record->Keep = false;
  }
  for (int i = 0; i < accounts.GetCount(); ++i) {
    const std::string& server = accounts.GetAccount(i)->RemoteHostname;
    const std::string alias = TAccounts::MakeLocalHostname(server);
    if (const std::string problem = HostName::Problem(alias); !problem.empty()) {
      throw EInvalidHostName(HostName::Shown(alias), problem);
    }
    if (THostRecord* own = hosts.findByHostName(server); own != nullptr) {
      own->Keep = true;
    }
    THostRecord* record = hosts.findByHostName(alias);
    if (record != nullptr && !record->IsOurs) {
      if (!hosts.IsValidQXip(record->Ip)) {
        throw EHostsFileException(
            hosts.File(), "The hosts file " + Platform::QuotedPath(hosts.File()) + " maps '" + alias + "' to '" +
                              HostName::Shown(record->Ip) + "' on line " + std::to_string(record->LineIndex + 1) +
                              ", outside Quorix's block; remove that line so that Quorix can give the name its "
                              "own address");
      }
      record->Keep = true;
      continue;
    }
    if (record != nullptr) {
      if (!hosts.IsValidQXip(record->Ip)) {
        record->Ip = FreeIpOrThrow(hosts);
      }
    } else {
      record = hosts.add(alias, FreeIpOrThrow(hosts));
    }
    if (record != nullptr) {
      record->Keep = true;
    }
  }
  const auto& records = hosts.Records();
  for (auto it = records.rbegin(); it != records.rend();) {
    THostRecord* record = it->get();
    ++it;  // deleting a record not yet in the file erases it from the list
    if (record->IsOurs && !record->Keep && record->Status != TStatus::eDelete) {
      hosts.deleteRecord(record);
    }
  }
  // Two names on one loopback address would send both to the first account; the "qx." +
  // address aliases point at real servers and may share an address with anything.
  for (const auto& record : hosts.Records()) {
    if (record->IsOurs && record->Status != TStatus::eDelete && hosts.IsValidQXip(record->Ip) &&
        hosts.countByIp(record->Ip) > 1) {
      record->Ip = FreeIpOrThrow(hosts);
    }
  }
}
