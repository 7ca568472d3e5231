#include "proxy/NiceSocketError.h"

#include "platform/ESocketError.h"

std::string NiceSocketError(const std::exception& error) {
  if (const auto* socketError = dynamic_cast<const ESocketError*>(&error)) {
    return socketError->Reason();
  }
  return error.what();
}
