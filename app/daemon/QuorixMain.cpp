#include "app/daemon/QuorixMain.h"

#include <cstdio>
#include <string>

#include "app/daemon/AccountCommand.h"
#include "app/daemon/HeadlessDaemon.h"
#include "app/daemon/QuorixOptions.h"

int RunQuorix(const std::vector<std::string_view>& arguments) {
  std::string error;
  const TQuorixOptions options = ParseQuorixOptions(arguments, error);
  if (options.Help) {
    std::fputs(QuorixUsageText().c_str(), stdout);
    return 0;
  }
  if (options.IsAccountCommand()) {
    if (!error.empty()) {
      std::fprintf(stderr, "quorix: %s\n%s", error.c_str(), QuorixUsageText().c_str());
      return 2;
    }
    return RunAccountCommand(options);
  }
  return RunHeadless(options, error);
}
