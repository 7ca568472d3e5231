#include "integration/THostRecord.h"

#include "integration/HostName.h"

bool THostRecord::check() const { return HostName::IsValidIpv4(Ip) && HostName::Problem(HostName).empty(); }

std::string THostRecord::toString() const { return Ip + std::string(24, ' ') + HostName + "  " + Comment; }
