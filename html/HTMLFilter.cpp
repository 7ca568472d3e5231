#include "html/HTMLFilter.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "html/HTMLParser.h"
#include "html/HTMLTagLibrary.h"
#include "html/URISchemes.h"
#include "html/WebBugCheck.h"
#include "mailparser/IMessageProcessorInterface.h"

namespace HTMLFilter {

namespace {

constexpr std::u16string_view kBlank = u"about:blank";

bool isHTMLSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

char16_t asciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string_view trimSpace(std::u16string_view text) {
  while (!text.empty() && isHTMLSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isHTMLSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool in(std::string_view key, std::initializer_list<std::string_view> keys) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// `lower` is lower-case ASCII.
bool equalsIgnoringCase(std::u16string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (asciiLower(text[i]) != static_cast<char16_t>(lower[i])) return false;
  }
  return true;
}

bool containsIgnoringCase(std::u16string_view text, std::string_view lower) {
  if (lower.size() > text.size()) return false;
  for (std::size_t start = 0; start + lower.size() <= text.size(); ++start) {
    if (equalsIgnoringCase(text.substr(start, lower.size()), lower)) return true;
  }
  return false;
}

// Whether a space-separated list (such as "rel") holds the token, compared as browsers do.
bool hasToken(std::u16string_view list, std::string_view lower) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && isHTMLSpace(list[i])) ++i;
    std::size_t end = i;
    while (end < list.size() && !isHTMLSpace(list[end])) ++end;
    if (end > i && equalsIgnoringCase(list.substr(i, end - i), lower)) return true;
    i = end;
  }
  return false;
}

// "&{...};": the script entities of old Netscape browsers.
bool isScriptEntity(std::u16string_view value) {
  while (!value.empty() && isHTMLSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && isHTMLSpace(value.back())) value.remove_suffix(1);
  return value.size() >= 4 && value.substr(0, 2) == u"&{" && value.substr(value.size() - 2) == u"};";
}

// Whether a value, read with every control character and space removed as browsers skip
// them before a scheme, begins with a scheme that runs script or carries a whole document.
bool hasActivePrefix(std::u16string_view value) {
  char prefix[12];
  std::size_t n = 0;
  for (std::size_t i = 0; i < value.size() && n < sizeof prefix; ++i) {
    const char16_t c = value[i];
    if (c <= 0x20) continue;
    if (c >= 0x80) break;
    prefix[n++] = static_cast<char>(asciiLower(c));
  }
  const std::string_view seen(prefix, n);
  for (const std::string_view active : {"javascript:", "vbscript:", "livescript:", "mocha:", "data:"}) {
    if (seen.substr(0, active.size()) == active) return true;
  }
  return false;
}

// Browsers skip leading spaces and control characters before they read a URL.
bool beginsWithTwoBackslashes(std::u16string_view value) {
  while (!value.empty() && value.front() <= 0x20) value.remove_prefix(1);
  return value.size() >= 2 && value[0] == u'\\' && value[1] == u'\\';
}

constexpr std::size_t kNotPlain = std::u16string_view::npos - 1;

// An http, https or ftp URL already in the form the check writes it in: lower-case scheme
// and host, "//" and a host without user information, no backslash before the query, no
// "." or ".." and no empty directory in the path, nothing a browser strips or trims. Its own
// scheme makes any base irrelevant, so it is forwarded as it stands. Answers kNotPlain for
// any other text, npos for one forwarded unchanged, and otherwise the position before which
// the "/" of an empty path goes.
std::size_t plainSpecialURL(std::u16string_view value) {
  std::size_t hostStart = 0;
  if (value.starts_with(u"https://")) {
    hostStart = 8;
  } else if (value.starts_with(u"http://")) {
    hostStart = 7;
  } else if (value.starts_with(u"ftp://")) {
    hostStart = 6;
  } else {
    return kNotPlain;
  }
  if (value.back() <= u' ' || value.find_first_of(u"\t\r\n") != std::u16string_view::npos) return kNotPlain;
  const std::size_t stop = std::min(value.find_first_of(u"?#", hostStart), value.size());
  if (value.substr(0, stop).find(u'\\') != std::u16string_view::npos) return kNotPlain;
  const std::size_t hostEnd = std::min(value.find(u'/', hostStart), stop);
  if (hostEnd == hostStart) return kNotPlain;
  for (std::size_t i = hostStart; i < hostEnd; ++i) {
    if (value[i] == u'@' || (value[i] >= u'A' && value[i] <= u'Z')) return kNotPlain;
  }
  if (hostEnd == stop) return hostEnd;
  // The path: "/" then directories, each ending in "/", then the file, whose parameters
  // start at its first ";".
  std::u16string_view path = value.substr(hostEnd + 1, stop - hostEnd - 1);
  for (;;) {
    const std::size_t slash = path.find(u'/');
    std::u16string_view part = path.substr(0, slash);
    if (slash == std::u16string_view::npos) part = part.substr(0, part.find(u';'));
    if (part == u"." || part == u".." || (part.empty() && slash != std::u16string_view::npos)) return kNotPlain;
    if (slash == std::u16string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return std::u16string_view::npos;
}

bool isEmbedded(std::u16string_view url) {
  return URISchemes::schemeClass(URI(url).scheme) == SchemeClass::embedded;
}

// The entry for `key` among the first `count` of the tag being collected: the one an
// earlier attribute with that key took, or else the next one, reused from an earlier tag
// where it can be so that its strings keep their capacity. A template so that it need not
// name the filter's private entry type.
template <typename Entries>
auto& entryFor(Entries& entries, std::size_t& count, std::string_view key) {
  for (std::size_t i = 0; i < count; ++i) {
    if (entries[i].key == key) return entries[i];
  }
  if (count == entries.size()) entries.emplace_back();
  auto& entry = entries[count++];
  entry.key.assign(key);
  return entry;
}

}  // namespace

HTMLFilter::HTMLFilter(IHTMLHandler& downstream, MailParser::IMessageProcessorInterface& settings, bool addFooter)
    : downstream_(downstream),
      settings_(settings),
      options_{settings.getRemoveNonStandardHTML(),
               settings.getRemoveScripting(),
               settings.getRemoveEmbedding(),
               settings.getRemoveFrames(),
               settings.getBlockExternalCSS(),
               settings.getRemoveBLINKTags(),
               settings.getRemoveBGSOUNDTags(),
               settings.getRemoveMETATags(),
               settings.getBlock1x1Images(),
               settings.getAllowNetworkSharePaths(),
               settings.getMaxURLLength()},
      css_(
          options_.removeScripting,
          [this](std::u16string_view url, CSSURLUse use) { return cssURLAllowed(url, use); },
          [this] { settings_.countScriptingRemoved(); }),
      footerDone_(!addFooter) {
  // Room for the attributes of any ordinary tag from the start.
  attributes_.reserve(16);
  order_.reserve(16);
}

void HTMLFilter::text(std::u16string_view raw, std::u16string_view decoded) {
  downstream_.text(raw, decoded);
}

void HTMLFilter::startTag(std::u16string_view rawName, std::string_view key) {
  tagRawName_.assign(rawName);
  tagName_.assign(key);
  attributeCount_ = 0;
}

void HTMLFilter::attribute(std::u16string_view rawName, std::string_view key, std::u16string_view rawValue,
                           std::u16string_view decodedValue) {
  Attribute& slot = entryFor(attributes_, attributeCount_, key);
  slot.data.rawName.assign(rawName);
  // Most values hold no character reference, and the tokenizer then gives the same text for
  // both: it is kept once.
  slot.rawIsDecoded = rawValue.data() == decodedValue.data() && rawValue.size() == decodedValue.size();
  if (slot.rawIsDecoded) {
    slot.data.rawValue.clear();
  } else {
    slot.data.rawValue.assign(rawValue);
  }
  slot.data.decodedValue.assign(decodedValue);
  slot.hasValue = true;
}

void HTMLFilter::attributeWithoutValue(std::u16string_view rawName, std::string_view key) {
  Attribute& slot = entryFor(attributes_, attributeCount_, key);
  slot.data.rawName.assign(rawName);
  slot.data.rawValue.clear();
  slot.data.decodedValue.clear();
  slot.rawIsDecoded = false;
  slot.hasValue = false;
}

const HTMLFilter::AttributeData* HTMLFilter::find(std::string_view key) const {
  for (std::size_t i = 0; i < attributeCount_; ++i) {
    if (attributes_[i].hasValue && attributes_[i].key == key) return &attributes_[i].data;
  }
  return nullptr;
}

// The rule groups a tag belongs to, by its key; worked out once per tag, as below.
std::uint16_t HTMLFilter::tagGroups(std::string_view key) {
  std::uint16_t groups = 0;
  const auto add = [&](TagGroup group, std::initializer_list<std::string_view> keys) {
    if (in(key, keys)) groups |= group;
  };
  add(frameTag, {"iframe", "ilayer", "frame", "frameset", "layer"});
  add(embeddingTag, {"object", "embed", "applet", "param", "noembed"});
  // Besides script itself, every element that runs or loads active content whatever the
  // other options say, and forms, which post what the reader types to wherever the sender
  // likes. Their content stays, as for any tag that goes.
  add(scriptingTag, {"script", "noscript", "iframe", "frame", "frameset", "object", "embed", "applet", "portal",
                     "form", "isindex"});
  add(scriptTag, {"script"});
  add(blinkTag, {"blink"});
  add(soundTag, {"bgsound", "sound"});
  add(metaTag, {"meta"});
  add(animationTag, {"set", "animate", "animatemotion", "animatetransform", "animatecolor"});
  add(linkTag, {"link"});
  add(styleTag, {"style"});
  add(commentTag, {"comment"});
  add(baseTag, {"base"});
  add(anchorTag, {"a"});
  add(documentTag, {"body", "html"});
  return groups;
}

// The library's answers and the rule groups for the tags met so far, by a hash of the key:
// mail uses a few dozen tags thousands of times, the library is an ordered map of strings,
// and the rules name some thirty tags. Neither changes, so the answers hold for every
// document this thread filters.
const HTMLFilter::TagRules& HTMLFilter::tagRules(std::string_view key) {
  struct CachedTag {
    std::string key;
    TagRules rules;
    bool filled = false;
  };
  thread_local std::array<CachedTag, 256> tagCache{};
  std::size_t hash = key.size();
  for (const char c : key) hash = hash * 31 + static_cast<unsigned char>(c);
  CachedTag& slot = tagCache[hash % tagCache.size()];
  if (!slot.filled || slot.key != key) {
    slot.key.assign(key);
    slot.rules.info = HTMLTagLibrary::getTagInformation(key);
    slot.rules.groups = tagGroups(key);
    slot.filled = true;
  }
  return slot.rules;
}

// As tagRules, for the library's attribute sets: a tag's few attributes are met over
// and over, and each set is an ordered set of strings.
bool HTMLFilter::isStandardAttribute(const HTMLTagLibrary::TagInformation& info, std::string_view key) {
  struct CachedAttribute {
    const HTMLTagLibrary::TagInformation* info = nullptr;
    std::string key;
    bool standard = false;
  };
  thread_local std::array<CachedAttribute, 256> attributeCache{};
  std::size_t hash = std::hash<const HTMLTagLibrary::TagInformation*>{}(&info);
  for (const char c : key) hash = hash * 31 + static_cast<unsigned char>(c);
  CachedAttribute& slot = attributeCache[hash % attributeCache.size()];
  if (slot.info != &info || slot.key != key) {
    slot.info = &info;
    slot.key.assign(key);
    slot.standard = info.isStandardAttribute(key);
  }
  return slot.standard;
}

bool HTMLFilter::tagAllowed(std::uint16_t groups, bool counting) {
  if (options_.removeFrames && (groups & frameTag) != 0) {
    if (counting) settings_.countUndesiredTagRemoved();
    return false;
  }
  if (options_.removeEmbedding && (groups & embeddingTag) != 0) {
    if (counting) settings_.countEmbeddingRemoved();
    return false;
  }
  if (options_.removeScripting && (groups & scriptingTag) != 0) {
    if (counting) {
      settings_.countScriptingRemoved();
      if ((groups & scriptTag) != 0) skipContent_ = true;
    }
    return false;
  }
  if (options_.removeBLINKTags && (groups & blinkTag) != 0) {
    if (counting) settings_.countUndesiredTagRemoved();
    return false;
  }
  if (options_.removeBGSOUNDTags && (groups & soundTag) != 0) {
    if (counting) settings_.countUndesiredTagRemoved();
    return false;
  }
  if (options_.removeMETATags && (groups & metaTag) != 0) {
    if (counting) settings_.countUndesiredTagRemoved();
    return false;
  }
  return true;
}

bool HTMLFilter::styleTypeIsCSS(const AttributeData* type) const {
  if (type == nullptr) return true;
  std::u16string normal;
  for (const char16_t c : type->decodedValue) {
    if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') normal.push_back(asciiLower(c));
  }
  return normal == u"text/css";
}

bool HTMLFilter::isOneByOne() const {
  const AttributeData* width = find("width");
  const AttributeData* height = find("height");
  return width != nullptr && height != nullptr && trimSpace(width->decodedValue) == u"1" &&
         trimSpace(height->decodedValue) == u"1";
}

// The rules that take a whole start tag away (or, for "base", keep it to themselves).
bool HTMLFilter::dropsStartTag() {
  const TagRules& rules = tagRules(tagName_);
  tagGroups_ = rules.groups;
  tagInfo_ = options_.removeNonStandardHTML ? rules.info : nullptr;
  if (options_.removeNonStandardHTML && tagInfo_ == nullptr) {
    settings_.countNonStandardTagRemoved();
    return true;
  }
  if (!tagAllowed(tagGroups_, true)) return true;
  if (options_.removeScripting) {
    // A refresh navigates to any URL, javascript: included; set-cookie plants a cookie for
    // the page's origin. Neither is ever needed to read a message.
    if ((tagGroups_ & metaTag) != 0) {
      const AttributeData* httpEquiv = find("http-equiv");
      if (httpEquiv != nullptr && (containsIgnoringCase(httpEquiv->decodedValue, "refresh") ||
                                   containsIgnoringCase(httpEquiv->decodedValue, "set-cookie"))) {
        settings_.countScriptingRemoved();
        return true;
      }
    }
    // SVG animation can set a link's target or an event attribute after the filter has
    // looked at it.
    if ((tagGroups_ & animationTag) != 0) {
      if (const AttributeData* target = find("attributename")) {
        std::u16string_view name = trimSpace(target->decodedValue);
        if (const std::size_t colon = name.rfind(u':'); colon != std::u16string_view::npos) {
          name.remove_prefix(colon + 1);
        }
        if (equalsIgnoringCase(name, "href") ||
            (name.size() >= 2 && asciiLower(name[0]) == u'o' && asciiLower(name[1]) == u'n')) {
          settings_.countScriptingRemoved();
          return true;
        }
      }
    }
  }
  if ((tagGroups_ & linkTag) != 0) {
    const AttributeData* rel = find("rel");
    const AttributeData* href = find("href");
    const bool styleSheet = rel != nullptr && hasToken(rel->decodedValue, "stylesheet");
    if (styleSheet && options_.blockExternalCSS && href != nullptr && !isEmbedded(href->decodedValue)) {
      settings_.countExternalCSSBlocked();
      return true;
    }
    if (options_.removeScripting) {
      if (styleSheet && !styleTypeIsCSS(find("type"))) {
        settings_.countScriptingRemoved();
        return true;
      }
      // Any other link fetches or runs something (import, preload, prefetch, modulepreload,
      // and whatever rel browsers add next) and gives the reader nothing to read.
      if (!styleSheet) {
        settings_.countScriptingRemoved();
        return true;
      }
      // An external style sheet is CSS this filter never sees: its rules could load what
      // they like and bind script where browsers allow it. Only a part of the message stays.
      if (href == nullptr || !isEmbedded(href->decodedValue)) {
        settings_.countExternalCSSBlocked();
        return true;
      }
    }
    return false;
  }
  if ((tagGroups_ & styleTag) != 0 && options_.removeScripting && !styleTypeIsCSS(find("type"))) {
    settings_.countScriptingRemoved();
    skipContent_ = true;
    return true;
  }
  if ((tagGroups_ & commentTag) != 0) {
    skipContent_ = true;
    return true;
  }
  if ((tagGroups_ & baseTag) != 0) {
    handleBase();
    return true;
  }
  return false;
}

void HTMLFilter::handleBase() {
  if (const AttributeData* href = find("href")) {
    const URI uri(href->decodedValue);
    if (URISchemes::schemeClass(uri.scheme) == SchemeClass::network && URISchemes::isHierarchical(uri.scheme) &&
        (options_.allowNetworkSharePaths || !beginsWithTwoBackslashes(href->decodedValue))) {
      baseURL_ = URL(href->decodedValue);
    } else {
      baseURL_.clear();
    }
  }
  if (const AttributeData* target = find("target")) baseTarget_ = target->decodedValue;
}

HTMLFilter::URLKind HTMLFilter::urlKind(std::string_view key) const {
  // By first letter, so that the many attributes that are no URL (class, style, width, ...)
  // cost one or two comparisons.
  switch (key.empty() ? '\0' : key.front()) {
    case 'a':
      if (key == "archive") return URLKind::resource;
      if (key == "action") return URLKind::link;
      return URLKind::none;
    case 'b':
      return key == "background" ? URLKind::resource : URLKind::none;
    case 'c':
      if (key == "codebase" || key == "classid") return URLKind::resource;
      return key == "cite" ? URLKind::other : URLKind::none;
    case 'd':
      if (key == "dynsrc" || key == "data") return URLKind::resource;
      return key == "datasrc" ? URLKind::other : URLKind::none;
    case 'f':
      return key == "formaction" ? URLKind::link : URLKind::none;
    case 'h':
      return key == "href" ? hrefKind() : URLKind::none;
    case 'i':
      if (key == "imagesrcset") return URLKind::srcset;
      if (key == "icon") return URLKind::resource;
      return key == "itemtype" ? URLKind::other : URLKind::none;
    case 'l':
      if (key == "lowsrc") return URLKind::resource;
      return key == "longdesc" ? URLKind::other : URLKind::none;
    case 'm':
      return key == "manifest" ? URLKind::resource : URLKind::none;
    case 'p':
      // A list of URLs that the browser posts to when the reader follows the link: a beacon.
      if (key == "ping") return URLKind::resourceList;
      if (key == "poster") return URLKind::resource;
      return key == "profile" ? URLKind::other : URLKind::none;
    case 's':
      if (key == "src") return URLKind::resource;
      return key == "srcset" ? URLKind::srcset : URLKind::none;
    case 'u':
      return key == "usemap" ? URLKind::other : URLKind::none;
    case 'x':
      return key == "xlink:href" ? hrefKind() : URLKind::none;
    default:
      return URLKind::none;
  }
}

HTMLFilter::URLKind HTMLFilter::hrefKind() const {
  const std::string_view tag = tagName_;
  if (tag == "a" || tag == "area") return URLKind::link;
  if (in(tag, {"link", "image", "use", "feimage", "script"})) return URLKind::resource;
  return URLKind::other;
}

void HTMLFilter::checkURL(std::u16string_view value, bool link, std::u16string& result) {
  result.clear();
  if (const std::size_t root = plainSpecialURL(value); root != kNotPlain) {
    if (root == std::u16string_view::npos) {
      result.assign(value);
    } else {
      result.assign(value.substr(0, root));
      result += u'/';
      result += value.substr(root);
    }
  } else if ((options_.removeScripting && isScriptEntity(value)) ||
             (!options_.allowNetworkSharePaths && beginsWithTwoBackslashes(value))) {
    result.assign(kBlank);
    return;
  } else {
    URI uri(value);
    const bool ownScheme = !uri.scheme.empty();
    uri.takeSchemeFrom(baseURL_);
    // A reference to a place in this document loads nothing and leaves it for nowhere, in a
    // link or anywhere else (an image map, an SVG gradient).
    if (uri.scheme.empty() && !uri.remainder.empty() && uri.remainder.front() == u'#') {
      result.assign(value);
    } else {
      const URISchemeInformation scheme = URISchemes::information(uri.scheme);
      switch (scheme.schemeClass) {
        case SchemeClass::unknown:
          result.assign(kBlank);
          return;
        case SchemeClass::embedded:
          result = uri.text();
          break;
        case SchemeClass::network:
          if (!link && scheme.linkOnly) {
            result.assign(kBlank);
            return;
          }
          if (scheme.hierarchical) {
            // A scheme taken from the base is read again by resolve(), so the URL starts over
            // from the text itself; with its own scheme the parse already made serves.
            URL url = ownScheme ? URL(std::move(uri)) : URL(value);
            url.resolve(baseURL_);
            result = url.text();
          } else {
            result = uri.text();
          }
          break;
        case SchemeClass::script:
          if (options_.removeScripting) {
            settings_.countScriptingRemoved();
            result.assign(kBlank);
            return;
          }
          result = uri.text();
          break;
      }
    }
  }
  if (result.size() > options_.maxURLLength) result.resize(options_.maxURLLength);
}

void HTMLFilter::checkResource(std::u16string_view value, bool oneByOne, std::u16string& result) {
  if (options_.block1x1Images && oneByOne) {
    settings_.count1x1ImageBlocked();
    result.assign(kBlank);
    return;
  }
  checkURL(value, false, result);
  if (result == kBlank || (!result.empty() && result.front() == u'#')) return;
  if (!imageURLAllowed(URI(result), settings_)) result.assign(kBlank);
}

// "srcset" holds candidates separated by commas, each a URL and optional descriptors ("2x",
// "100w"); "ping" holds URLs separated by spaces. Each URL is judged on its own.
void HTMLFilter::checkResourceList(std::u16string_view value, bool srcset, std::u16string& out) {
  const bool oneByOne = isOneByOne();
  out.clear();
  std::size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (isHTMLSpace(value[i]) || (srcset && value[i] == u','))) ++i;
    if (i == value.size()) break;
    std::size_t end = i;
    while (end < value.size() && !isHTMLSpace(value[end])) ++end;
    std::u16string_view url = value.substr(i, end - i);
    bool ended = false;  // a comma right after the URL ends the candidate
    while (srcset && !url.empty() && url.back() == u',') {
      url.remove_suffix(1);
      ended = true;
    }
    std::u16string_view descriptors;
    i = end;
    if (srcset && !ended) {
      std::size_t comma = i;
      int depth = 0;
      while (comma < value.size() && (value[comma] != u',' || depth > 0)) {
        if (value[comma] == u'(') ++depth;
        if (value[comma] == u')' && depth > 0) --depth;
        ++comma;
      }
      descriptors = trimSpace(value.substr(i, comma - i));
      i = comma;
    }
    if (!out.empty()) out += srcset ? u", " : u" ";
    checkResource(url, oneByOne, candidate_);
    out += candidate_;
    if (!descriptors.empty()) {
      out += u' ';
      out += descriptors;
    }
  }
}

bool HTMLFilter::cssURLAllowed(std::u16string_view url, CSSURLUse use) {
  // CSS reads a URL of nothing but a fragment as a part of this document (an SVG mask,
  // filter or gradient), whatever the base: it loads nothing.
  if (use == CSSURLUse::resource && !url.empty() && url.front() == u'#') return true;
  const URI uri(url);
  switch (URISchemes::schemeClass(uri.scheme)) {
    case SchemeClass::script:
      if (options_.removeScripting) settings_.countScriptingRemoved();
      return false;
    case SchemeClass::embedded:
      return true;
    case SchemeClass::unknown:
      return false;
    case SchemeClass::network:
      break;
  }
  if (use == CSSURLUse::import && options_.blockExternalCSS) {
    settings_.countExternalCSSBlocked();
    return false;
  }
  if (!imageURLAllowed(uri, settings_)) return false;
  // With scripting removed no remote url() stays at all, even one the image options allow:
  // CSS that loads from elsewhere is how style sheets reach out, and no browser-side check
  // can tell a background from a beacon. The reader loses a background, never text, so the
  // declaration goes uncounted: no option the reader set blocked an image here.
  return !options_.removeScripting;
}

void HTMLFilter::forwardValue(const Attribute& attribute, URLKind kind) {
  const std::u16string_view decoded = attribute.data.decodedValue;
  value_.clear();
  switch (kind) {
    case URLKind::none:
      break;
    case URLKind::link:
      checkURL(decoded, true, value_);
      break;
    case URLKind::other:
      checkURL(decoded, false, value_);
      break;
    case URLKind::resource:
      checkResource(decoded, isOneByOne(), value_);
      break;
    case URLKind::resourceList:
      checkResourceList(decoded, false, value_);
      break;
    case URLKind::srcset:
      checkResourceList(decoded, true, value_);
      break;
  }
  downstream_.attribute(attribute.data.rawName, attribute.key, value_, value_);
}

void HTMLFilter::forwardStartTag() {
  order_.clear();
  for (std::size_t i = 0; i < attributeCount_; ++i) order_.push_back(&attributes_[i]);
  // Valued attributes first, each group in byte order of the keys.
  std::sort(order_.begin(), order_.end(), [](const Attribute* a, const Attribute* b) {
    return a->hasValue != b->hasValue ? a->hasValue : a->key < b->key;
  });
  const HTMLTagLibrary::TagInformation* info = tagInfo_;
  const auto standard = [&](std::string_view key) {
    if (info == nullptr || isStandardAttribute(*info, key)) return true;
    settings_.countNonStandardAttributeRemoved();
    return false;
  };
  const auto scripting = [&](std::string_view key) {
    return options_.removeScripting && (key.substr(0, 2) == "on" || key == "srcdoc");
  };

  // A link is its href: one the URL check turned away leaves nothing worth keeping.
  linkHref_.clear();
  const bool link = (tagGroups_ & linkTag) != 0;
  if (link) {
    if (const AttributeData* href = find("href")) {
      checkResource(href->decodedValue, isOneByOne(), linkHref_);
      if (linkHref_ == kBlank) return;
    }
  }

  downstream_.startTag(tagRawName_, tagName_);
  for (const Attribute* attribute : order_) {
    const std::string_view key = attribute->key;
    if (!attribute->hasValue) {
      if (!standard(key)) continue;
      if (scripting(key)) {
        settings_.countScriptingRemoved();
        continue;
      }
      downstream_.attributeWithoutValue(attribute->data.rawName, key);
      continue;
    }
    if (!standard(key)) continue;
    if (link && key == "href") {
      downstream_.attribute(attribute->data.rawName, key, linkHref_, linkHref_);
      continue;
    }
    const URLKind kind = urlKind(key);
    if (kind != URLKind::none) {
      forwardValue(*attribute, kind);
      continue;
    }
    const std::u16string_view decoded = attribute->data.decodedValue;
    // Event handlers, and any value a browser would take for script or a whole document
    // wherever it stands (SVG animation values, an object's param, a title that a script
    // of the page might one day use as a URL).
    if (scripting(key) || (options_.removeScripting && (isScriptEntity(decoded) || hasActivePrefix(decoded)))) {
      settings_.countScriptingRemoved();
      continue;
    }
    if (key == "style") {
      const std::u16string filtered = css_.filterDeclarations(decoded);
      // The declarations that stay can begin with what the whole value could not.
      if (options_.removeScripting && hasActivePrefix(filtered)) {
        settings_.countScriptingRemoved();
        continue;
      }
      downstream_.attribute(attribute->data.rawName, key, filtered, filtered);
      continue;
    }
    downstream_.attribute(attribute->data.rawName, key, attribute->rawIsDecoded ? decoded : attribute->data.rawValue,
                          decoded);
  }
  if ((tagGroups_ & anchorTag) != 0 && find("href") != nullptr && find("target") == nullptr && !baseTarget_.empty()) {
    downstream_.attribute(u"target", "target", baseTarget_, baseTarget_);
  }
  downstream_.startTagEnd();
}

void HTMLFilter::startTagEnd() {
  skipContent_ = false;
  if (dropsStartTag()) return;
  forwardStartTag();
}

void HTMLFilter::rawContent(std::u16string content) {
  if (skipContent_) return;
  if (tagName_ == "style") {
    std::u16string sheet = u"<!--";
    sheet += css_.filterStyleSheet(content);
    sheet += u"-->";
    downstream_.rawContent(std::move(sheet));
    return;
  }
  downstream_.rawContent(std::move(content));
}

void HTMLFilter::endTag(std::u16string_view rawName, std::string_view key) {
  const TagRules& rules = tagRules(key);
  if ((rules.groups & documentTag) != 0 && !footerDone_) injectFooter();
  if (skipContent_) {
    skipContent_ = false;
    if (key != tagName_) throw std::runtime_error(std::string(kTagMismatchError));
    return;
  }
  if (!tagAllowed(rules.groups, false)) return;
  if (options_.removeNonStandardHTML && rules.info == nullptr) return;
  downstream_.endTag(rawName, key);
}

// Comments go whatever the profile: old browsers run what conditional comments hold, and
// nothing in one is meant for the reader.
void HTMLFilter::comment(std::u16string_view /*text*/) {}

void HTMLFilter::declaration(std::u16string_view text) {
  downstream_.declaration(text);
}

void HTMLFilter::processingInstruction(std::u16string_view text) {
  downstream_.processingInstruction(text);
}

void HTMLFilter::endDocument() {
  if (!footerDone_) injectFooter();
  downstream_.endDocument();
}

// The footer is ours, so it is written as it stands, not filtered.
void HTMLFilter::injectFooter() {
  footerDone_ = true;
  const std::u16string footer = settings_.getHTMLFooter();
  if (!footer.empty()) parseHTML(downstream_, footer, true);
}

}  // namespace HTMLFilter
