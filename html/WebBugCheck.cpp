#include "html/WebBugCheck.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "html/URISchemes.h"
#include "mailparser/IMessageProcessorInterface.h"

namespace HTMLFilter {

namespace {

// The weights of the identifier heuristic, by sensitivity (Low, Medium, High).
struct IdentifierWeights {
  long long user;          // a user name is present
  long long email;         // an e-mail address is present
  std::size_t threshold;   // length of file and params that is still unremarkable
  long long perCharacter;  // points per character over the threshold
  long long digits;
  long long hexadecimal;
  long long mixedCase;
};

constexpr std::array<IdentifierWeights, 3> weights{{
    {100, 100, 25, 1, 40, 50, 50},
    {100, 100, 15, 3, 75, 80, 80},
    {100, 100, 12, 5, 90, 95, 95},
}};

constexpr long long identifierThreshold = 100;

bool isLocalPartCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'&' ||
         c == u'_' || c == u'.' || c == u'-';
}

bool isDomainCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
         c == u'-';
}

// Labels of a domain, or 0 when it starts with "." or has an empty label inside; a trailing
// "." adds none.
std::size_t domainLabels(std::u16string_view domain) {
  if (domain.starts_with(u'.')) return 0;
  std::size_t labels = 0;
  while (!domain.empty()) {
    const std::size_t dot = domain.find(u'.');
    if (dot == 0) return 0;
    ++labels;
    if (dot == std::u16string_view::npos) break;
    domain = domain.substr(dot + 1);
  }
  return labels;
}

// The host as the settings interface's provider look-up takes it: each character's low
// eight bits.
std::string narrow(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char16_t c : text) result.push_back(static_cast<char>(c & 0xFF));
  return result;
}

}  // namespace

bool containsEmailAddress(std::u16string_view text) {
  std::size_t at = text.find(u'@');
  while (at != std::u16string_view::npos) {
    std::size_t localStart = at;
    while (localStart > 0 && isLocalPartCharacter(text[localStart - 1])) --localStart;
    std::size_t domainEnd = at + 1;
    while (domainEnd < text.size() && isDomainCharacter(text[domainEnd])) ++domainEnd;
    const std::size_t localLength = at - localStart;
    const std::u16string_view domain = text.substr(at + 1, domainEnd - at - 1);
    if (localLength > 0 && !domain.empty() && domainLabels(domain) >= 2) return true;
    at = text.find(u'@', domainEnd);
  }
  return false;
}

bool looksLikeIdentifier(const URL& url, int sensitivity) {
  return identifierScore(url, sensitivity) >= identifierThreshold;
}

long long identifierScore(const URL& url, int sensitivity) {
  const IdentifierWeights& w = weights[static_cast<std::size_t>(std::clamp(sensitivity, 0, 2))];

  std::u16string path;
  for (const std::u16string& segment : url.segments) {
    path += segment;
    path += u'/';
  }
  path += url.file;
  path += url.params;
  path += url.query;

  long long score = 0;
  if (!url.user.empty()) score += w.user;
  if (containsEmailAddress(path)) score += w.email;
  const std::size_t n = url.file.size() + url.params.size();
  if (n > w.threshold) score += static_cast<long long>(n - w.threshold) * w.perCharacter;
  if (!path.empty()) {
    long long digits = 0;
    long long hexadecimal = 0;
    long long lower = 0;
    long long upper = 0;
    for (const char16_t unit : path) {
      const auto c = static_cast<char16_t>(unit & 0xFF);
      if (c >= u'0' && c <= u'9') {
        ++digits;
        ++hexadecimal;
      } else if (c >= u'a' && c <= u'f') {
        ++lower;
        ++hexadecimal;
      } else if (c >= u'A' && c <= u'F') {
        ++upper;
        ++hexadecimal;
      } else if (c >= u'g' && c <= u'z') {
        ++lower;
      } else if (c >= u'G' && c <= u'Z') {
        ++upper;
      }
    }
    const auto length = static_cast<long long>(path.size());
    score += w.digits * digits / length;
    score += w.hexadecimal * hexadecimal / length;
    score += w.mixedCase * std::min(lower, upper) * 2 / length;
  }
  return score;
}

bool imageURLAllowed(const URI& uri, MailParser::IMessageProcessorInterface& settings) {
  switch (URISchemes::schemeClass(uri.scheme)) {
    case SchemeClass::embedded:
      return true;
    case SchemeClass::network:
      if (settings.getBlockExternalImages()) {
        settings.countExternalImageBlocked();
        return false;
      }
      // mailto, news and the like are nothing a page could load as an image.
      if (!URISchemes::isHierarchical(uri.scheme)) return false;
      break;
    case SchemeClass::script:
    case SchemeClass::unknown:
      return false;
  }

  const URL url(uri);
  // The host the browser would contact: a port, a trailing dot or an escape must not hide a
  // known provider or a host with cookies.
  const std::u16string host = url.bareHost();
  std::string provider;
  bool allowed = false;
  if (settings.findWebBugProvider(narrow(host), provider, allowed)) {
    if (allowed && settings.getAllowSelectedWebBugProviders()) {
      settings.countAllowedWebBugProviderImage();
      return true;
    }
    settings.countWebBugProviderImageBlocked();
    return false;
  }
  if (settings.getBlockImagesWithVariables() && !url.query.empty()) {
    settings.countImageWithVariablesBlocked();
    return false;
  }
  if (settings.getBlockImagesWithIdentifiers() &&
      looksLikeIdentifier(url, settings.getBlockImagesWithIdentifiersSensitivity())) {
    settings.countImageWithIdentifiersBlocked();
    return false;
  }
  // A cookie sent over https identifies the reader just as well as one sent over http.
  if (settings.getBlockImagesWithCookies() && (url.scheme == u"http" || url.scheme == u"https") &&
      settings.hostHasCookies(host)) {
    settings.countImageWithCookiesBlocked();
    return false;
  }
  return true;
}

}  // namespace HTMLFilter
