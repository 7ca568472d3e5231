#include "config/TWebBugProvider.h"

const std::array<TWebBugProvider, 1> knownWebBugProviders = {{
    {"disabled", "no known web bug providers...", "", ""},
}};
