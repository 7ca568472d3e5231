#include "engine/TProxyMessageProcessorInterfaceFactory.h"

#include <utility>

#include "engine/TProxyMessageProcessorInterface.h"

TProxyMessageProcessorInterfaceFactory PassThroughMessageProcessorFactory() {
  return [](TConfigRef config, const TAccount& account, TOutputLineEvent outputLine, TOutputStatusEvent outputStatus,
            TMessageLogs* messageLogs) {
    return std::make_unique<TProxyMessageProcessorInterfaceBase>(std::move(config), account, std::move(outputLine),
                                                                 std::move(outputStatus), messageLogs);
  };
}

TProxyMessageProcessorInterfaceFactory EngineMessageProcessorFactory(MessageProcessorInterfaceOptions options) {
  return [options = std::move(options)](TConfigRef config, const TAccount& account, TOutputLineEvent outputLine,
                                        TOutputStatusEvent outputStatus,
                                        TMessageLogs* messageLogs) -> std::unique_ptr<TProxyMessageProcessorInterfaceBase> {
    return std::make_unique<TProxyMessageProcessorInterface>(std::move(config), account, std::move(outputLine),
                                                             std::move(outputStatus), messageLogs, options);
  };
}
