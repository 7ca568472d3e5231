#include "html/URL.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "mailparser/Charsets.h"

namespace HTMLFilter {

namespace {

// The schemes whose URLs a browser reads with its special rules (backslashes, any number of
// slashes before the host). rtsp is hierarchical too, but browsers read it generically.
bool isSpecial(std::u16string_view scheme) {
  return scheme == u"http" || scheme == u"https" || scheme == u"ftp";
}

char16_t asciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Percent-escapes in a host stand for UTF-8 bytes; a run of them is decoded as one piece so
// that a character spread over several escapes comes back whole.
std::u16string percentDecoded(std::u16string_view text) {
  if (text.find(u'%') == std::u16string_view::npos) return std::u16string(text);
  std::u16string result;
  std::string bytes;
  const auto flush = [&] {
    if (!bytes.empty()) {
      result += MailParser::toWide(bytes, "utf-8", false);
      bytes.clear();
    }
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      flush();
      result.push_back(text[i]);
    }
  }
  flush();
  return result;
}

// The compatibility forms a browser's host mapping turns into ASCII and that would otherwise
// hide a known host: full-width ASCII and the ideographic full stops.
char16_t asciiForm(char16_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char16_t>(c - 0xFEE0);
  if (c == 0x3002 || c == 0xFF61) return u'.';
  return c;
}

// Everything split out of the scheme and remainder, which stay.
void clearParts(URL& url) {
  url.user.clear();
  url.password.clear();
  url.host.clear();
  url.segments.clear();
  url.file.clear();
  url.params.clear();
  url.query.clear();
  url.fragment.clear();
}

}  // namespace

URL::URL(std::u16string_view text) : URI(text) {
  split(!scheme.empty());
}

URL::URL(const URI& uri) : URI(uri) {
  split(!scheme.empty());
}

URL::URL(URI&& uri) : URI(std::move(uri)) {
  split(!scheme.empty());
}

void URL::split(bool schemeGiven) {
  clearParts(*this);

  const bool special = isSpecial(scheme);
  std::u16string_view rest = remainder;
  // A copy only for the rare text whose backslashes must be read as slashes.
  std::u16string work;
  if (special) {
    const std::size_t stop = std::min(rest.find_first_of(u"?#"), rest.size());
    const std::size_t backslash = rest.substr(0, stop).find(u'\\');
    if (backslash != std::u16string_view::npos) {
      work.assign(rest);
      for (std::size_t i = backslash; i < stop; ++i) {
        if (work[i] == u'\\') work[i] = u'/';
      }
      rest = work;
    }
  }
  std::size_t slashes = 0;
  while (slashes < rest.size() && rest[slashes] == u'/') ++slashes;
  const bool hasAuthority = special ? (schemeGiven || slashes >= 2) : rest.starts_with(u"//");
  if (hasAuthority) {
    const std::size_t start = special ? slashes : 2;
    const std::size_t end = std::min(rest.find_first_of(u"/?#", start), rest.size());
    const std::u16string_view authority = rest.substr(start, end - start);
    const std::size_t at = authority.rfind(u'@');
    if (at == std::u16string_view::npos) {
      host = authority;
    } else {
      const std::u16string_view userInformation = authority.substr(0, at);
      host = authority.substr(at + 1);
      const std::size_t colon = userInformation.find(u':');
      user = userInformation.substr(0, colon);
      if (colon != std::u16string_view::npos) password = userInformation.substr(colon + 1);
    }
    if (special) {
      for (char16_t& c : host) c = asciiLower(c);
    }
    rest = rest.substr(end);
  }
  const std::size_t hash = rest.find(u'#');
  if (hash != std::u16string_view::npos) {
    fragment = rest.substr(hash);
    rest = rest.substr(0, hash);
  }
  // After an authority the path is absolute even when the text has no "/" before it.
  const bool addRoot = hasAuthority && !rest.starts_with(u'/');
  std::u16string_view path = rest;
  const std::size_t question = path.find(u'?');
  if (question != std::u16string_view::npos) {
    query = path.substr(question);
    path = path.substr(0, question);
  }
  if (addRoot) segments.emplace_back();
  const std::size_t lastSlash = path.rfind(u'/');
  if (lastSlash == std::u16string_view::npos) {
    file = path;
  } else {
    file = path.substr(lastSlash + 1);
    std::u16string_view directories = path.substr(0, lastSlash);
    for (;;) {
      const std::size_t slash = directories.find(u'/');
      segments.emplace_back(directories.substr(0, slash));
      if (slash == std::u16string_view::npos) break;
      directories = directories.substr(slash + 1);
    }
  }
  const std::size_t semicolon = file.find(u';');
  if (semicolon != std::u16string::npos) {
    params = file.substr(semicolon);
    file.resize(semicolon);
  }
}

std::u16string URL::rebuiltRemainder() const {
  const bool special = isSpecial(scheme);
  const bool absolute = !segments.empty() && segments[0].empty();
  // A path that starts with "//" would read back as an authority: an empty one keeps it a path.
  const bool doubleSlashPath = segments.size() >= 2 && segments[0].empty() && segments[1].empty();
  const bool authority = special || !host.empty() || !user.empty() || !password.empty() || doubleSlashPath;
  std::u16string result;
  if (authority) {
    result += u"//";
    // "http:///evil.com/x" would read back with the host "evil.com": an empty host before a
    // path keeps its "@", which reads back as the same empty host (one a browser refuses).
    const bool rootOnly =
        file.empty() && params.empty() && (segments.empty() || (segments.size() == 1 && absolute));
    const bool keepAt = special && host.empty() && !rootOnly;
    if (!user.empty() || !password.empty() || keepAt) {
      result += user;
      if (!password.empty()) {
        result += u':';
        result += password;
      }
      result += u'@';
    }
    result += host;
    // Without it a relative path would run into the host.
    if (!absolute && (special || !segments.empty() || !file.empty() || !params.empty())) result += u'/';
  }
  for (const std::u16string& segment : segments) {
    result += segment;
    result += u'/';
  }
  result += file;
  result += params;
  result += query;
  result += fragment;
  return result;
}

std::u16string URL::text() const {
  if (scheme.empty()) return rebuiltRemainder();
  return scheme + u':' + rebuiltRemainder();
}

void URL::takeSchemeFrom(const URI& base) {
  if (!scheme.empty() || base.scheme.empty()) return;
  // What the parts say is read again under the new scheme: a browser takes "\\host\x" below
  // an http base for a host, not for a path.
  remainder = rebuiltRemainder();
  scheme = base.scheme;
  split(false);
}

void URL::clear() {
  URI::clear();
  clearParts(*this);
}

bool URL::empty() const {
  return scheme.empty() && user.empty() && password.empty() && host.empty() && segments.empty() &&
         file.empty() && params.empty() && query.empty() && fragment.empty();
}

void URL::resolve(const URL& base) {
  if (scheme.empty()) {
    takeSchemeFrom(base);
    if (host.empty()) {
      host = base.host;
      user = base.user;
      password = base.password;
      const bool hadNoSegments = segments.empty();
      if (segments.empty() || !segments[0].empty()) {
        if (base.segments.empty() && base.host.empty()) {
          segments.insert(segments.begin(), std::u16string());
        } else {
          segments.insert(segments.begin(), base.segments.begin(), base.segments.end());
        }
      }
      if (hadNoSegments && file.empty()) {
        file = base.file;
        if (params.empty()) {
          params = base.params;
          if (query.empty()) query = base.query;
        }
      }
    }
  }

  // Most paths have no "." or ".." and no empty directory: they stay as they are.
  bool clean = true;
  for (std::size_t i = 0; i < segments.size() && clean; ++i) {
    const std::u16string& segment = segments[i];
    clean = !(segment == u"." || segment == u".." || (segment.empty() && i != 0));
  }
  if (clean && file != u"." && file != u"..") {
    remainder = rebuiltRemainder();
    return;
  }
  std::vector<std::u16string> cleaned;
  cleaned.reserve(segments.size());
  for (std::size_t i = 0; i < segments.size(); ++i) {
    std::u16string& segment = segments[i];
    if (segment == u"." || (segment.empty() && i != 0)) continue;
    if (segment == u".." && !cleaned.empty() && !cleaned.back().empty() && cleaned.back() != u"..") {
      cleaned.pop_back();
      continue;
    }
    cleaned.push_back(std::move(segment));
  }
  segments = std::move(cleaned);
  if (file == u".." && !segments.empty() && !segments.back().empty() && segments.back() != u"..") {
    segments.pop_back();
    file.clear();
  } else if (file == u".") {
    file.clear();
  }
  remainder = rebuiltRemainder();
}

std::u16string URL::bareHost() const {
  std::u16string_view name = host;
  if (name.starts_with(u'[')) {
    const std::size_t close = name.find(u']');
    if (close != std::u16string_view::npos) name = name.substr(0, close + 1);
  } else {
    name = name.substr(0, name.find(u':'));
  }
  std::u16string result = percentDecoded(name);
  for (char16_t& c : result) c = asciiLower(asciiForm(c));
  if (result.ends_with(u'.')) result.pop_back();
  return result;
}

}  // namespace HTMLFilter
