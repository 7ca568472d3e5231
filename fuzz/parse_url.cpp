// Reads arbitrary bytes as a URI and a URL: an even count is taken as little-endian UTF-16
// pairs, an odd one as bytes widened to code units. Checks: the text form of a URL reads back
// as itself (the text we forward is the URL we judged); resolution against a fixed base and
// the web-bug check never fail, and the resolved text is a fixed point too.

#include <cstddef>
#include <cstdint>
#include <string>

#include "../tests/support/FakeMessageProcessorInterface.h"
#include "fuzz/FuzzCheck.h"
#include "html/URI.h"
#include "html/URL.h"
#include "html/WebBugCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  if (size % 2 == 0) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  } else {
    for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
  }

  const HTMLFilter::URI uri(text);
  const HTMLFilter::URL url(uri);
  const std::u16string canonical = url.text();
  check(HTMLFilter::URL(canonical).text() == canonical, "URL text form is not a fixed point");

  HTMLFilter::URL resolved(text);
  resolved.resolve(HTMLFilter::URL(u"http://User@Base.Example:8080/a/b/c;p?q#f"));
  const std::u16string absolute = resolved.text();
  check(HTMLFilter::URL(absolute).text() == absolute, "resolved text form is not a fixed point");

  FakeMessageProcessorInterface settings;
  settings.providers["tracker.com"] = {"Tracker", false};
  settings.hostsWithCookies = {"cookie.com"};
  settings.options.BlockImagesWithVariables = settings.options.BlockImagesWithIdentifiers = true;
  settings.options.BlockImagesWithCookies = settings.options.AllowSelectedWebBugProviders = true;
  settings.options.BlockImagesWithIdentifiersSensitivity = static_cast<int>(size % 5) - 1;
  (void)HTMLFilter::imageURLAllowed(uri, settings);
  (void)HTMLFilter::imageURLAllowed(resolved, settings);
  return 0;
}
