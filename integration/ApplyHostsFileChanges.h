#pragma once

class TAccounts;
class THostsManager;

// Brings the program's records in line with the accounts, in memory (hosts.save() writes):
// every account's local host name (server + suffix) keeps or gets its own loopback address,
// the "qx." + address alias of a server known by address is kept, and the program's other
// records are deleted. Lines outside the program's block are never changed: a local host
// name that such a line already maps to one of the program's addresses is left to it (the
// resolver answers from it), one that it maps elsewhere raises EHostsFileException naming
// the line. Throws EInvalidHostName for a server name that cannot become a host name, and
// EHostsFileException when no loopback address is free; nothing is saved then.
void ApplyHostsFileChanges(THostsManager& hosts, const TAccounts& accounts);
