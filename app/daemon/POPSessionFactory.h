#pragma once

#include "proxy/IProxySession.h"
#include "proxy/TPOPProxyEnvironment.h"

// Sessions of the real POP3 proxy, each with a copy of `environment`. Without a connector of
// its own, the server is reached as each account's TLS mode says (AccountServerConnector).
[[nodiscard]] TProxySessionFactory POPSessionFactory(TPOPProxyEnvironment environment);
