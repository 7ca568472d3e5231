#pragma once

#include "app/daemon/QuorixOptions.h"

// quorix account list | add HOST[:PORT] [--profile NAME] | remove HOST. A change is
// complete or not made at all: the hosts file is written first (it is the one that usually
// needs root), then the settings; if the settings cannot be written, the hosts file is put
// back. Exit status 0 done, 1 a file could not be read or written, 2 the request was wrong.
[[nodiscard]] int RunAccountCommand(const TQuorixOptions& options);
