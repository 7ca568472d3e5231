#include "logs/TMessageLogProblem.h"

#include "platform/QuotedPath.h"

std::string TMessageLogProblem::Text() const {
  const std::string what =
      File.filename() == "Summary" ? "The message summary file " : "The message log file ";
  return what + Platform::QuotedPath(File) +
         (Kind == TKind::Damaged ? " is damaged: " : " cannot be read: ") + Detail;
}
