#pragma once

#include <string>
#include <string_view>

#include "proxy/TPOPMultiLineResponseHandler.h"

// The reply to CAPA without the capabilities the proxy cannot offer the client (see
// FilteredCAPAOptions): PIPELINING, because replies are rewritten one at a time, and STLS,
// because the session refuses it.
class TCAPAResponseHandler final : public TPOPMultiLineResponseHandler {
 public:
  using TPOPMultiLineResponseHandler::TPOPMultiLineResponseHandler;

  // True for a capability line whose keyword (the text before the first space, letter
  // case ignored) is filtered.
  [[nodiscard]] static bool IsFilteredCapability(std::string_view line);

 protected:
  [[nodiscard]] std::string ModifyResultLine(std::string_view line) override;
  bool ProcessNonResultLine(std::string_view line) override;
};
