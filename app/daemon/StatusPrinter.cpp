#include "app/daemon/StatusPrinter.h"

#include <ctime>

std::string TStatusPrinter::Format(const TStatusMessage& message) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(message.Time);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  const char* level = message.Kind == TStatusKind::Error     ? "error"
                      : message.Kind == TStatusKind::Warning ? "warn "
                                                             : "info ";
  std::string line = std::string(stamp) + " " + level + " ";
  for (const char c : message.Text) {
    line += c == '\r' || c == '\n' ? ' ' : c;
  }
  return line;
}

void TStatusPrinter::Print(const TStatusMessage& message) const {
  const std::string line = Format(message) + "\n";
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
  if (message.Kind == TStatusKind::Error && err_ != nullptr) {
    std::fputs(line.c_str(), err_);
    std::fflush(err_);
  }
}
