#include "app/daemon/POPSessionFactory.h"

#include <memory>
#include <utility>

#include "proxy/TPOPProxy.h"
#include "proxy/TServerConnector.h"

TProxySessionFactory POPSessionFactory(TPOPProxyEnvironment environment) {
  if (!environment.ConnectToServer) {
    environment.ConnectToServer = AccountServerConnector({.OutputStatus = environment.OutputStatus});
  }
  return [environment = std::move(environment)](std::unique_ptr<IConnection> client, const TStopSignal& stop,
                                                TConfigRef config) -> std::unique_ptr<IProxySession> {
    return std::make_unique<TPOPProxy>(std::move(client), stop, std::move(config), environment);
  };
}
