#include "app/daemon/POPSessionFactory.h"

#include <memory>
#include <utility>

#include "proxy/TPOPProxy.h"

TProxySessionFactory POPSessionFactory(TPOPProxyEnvironment environment) {
  return [environment = std::move(environment)](std::unique_ptr<IConnection> client, const TStopSignal& stop,
                                                TConfigRef config) -> std::unique_ptr<IProxySession> {
    return std::make_unique<TPOPProxy>(std::move(client), stop, std::move(config), environment);
  };
}
