#include <string_view>
#include <vector>

#include "app/daemon/QuorixMain.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return RunQuorix(arguments);
}
