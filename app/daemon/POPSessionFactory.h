#pragma once

#include "proxy/IProxySession.h"
#include "proxy/TPOPProxyEnvironment.h"

// Sessions of the real POP3 proxy, each with a copy of `environment`.
[[nodiscard]] TProxySessionFactory POPSessionFactory(TPOPProxyEnvironment environment);
