#include "html/URISchemes.h"

#include <array>
#include <cstddef>

namespace HTMLFilter {

namespace {

struct SchemeRow {
  std::u16string_view name;
  URISchemeInformation information;
};

constexpr SchemeClass embedded = SchemeClass::embedded;
constexpr SchemeClass network = SchemeClass::network;
constexpr SchemeClass script = SchemeClass::script;

// Sorted by name, so a look-up is a binary search; a constant table needs no start-up order.
constexpr std::array<SchemeRow, 11> schemes{{
    {u"cid", {embedded, false, false}},
    {u"ftp", {network, false, true}},
    {u"http", {network, false, true}},
    {u"https", {network, false, true}},
    {u"javascript", {script, true, false}},
    {u"mailto", {network, true, false}},
    {u"news", {network, true, false}},
    {u"nntp", {network, true, false}},
    {u"rtsp", {network, false, true}},
    {u"telnet", {network, true, false}},
    {u"vbscript", {script, true, false}},
}};

constexpr std::size_t longestName = 10;

constexpr bool sortedByName() {
  for (std::size_t i = 1; i < schemes.size(); ++i) {
    if (!(schemes[i - 1].name < schemes[i].name)) return false;
  }
  return true;
}
static_assert(sortedByName(), "the scheme table must stay sorted for the binary search");

}  // namespace

URISchemeInformation URISchemes::information(std::u16string_view scheme) noexcept {
  if (scheme.empty() || scheme.size() > longestName) return {};
  std::array<char16_t, longestName> folded{};
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    const char16_t c = scheme[i];
    folded[i] = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  }
  const std::u16string_view name(folded.data(), scheme.size());
  std::size_t low = 0;
  std::size_t high = schemes.size();
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (schemes[middle].name < name) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low < schemes.size() && schemes[low].name == name) return schemes[low].information;
  return {};
}

SchemeClass URISchemes::schemeClass(std::u16string_view scheme) noexcept {
  return information(scheme).schemeClass;
}

bool URISchemes::isResource(std::u16string_view scheme) noexcept {
  const URISchemeInformation found = information(scheme);
  return found.schemeClass != SchemeClass::unknown && !found.linkOnly;
}

bool URISchemes::isHierarchical(std::u16string_view scheme) noexcept {
  return information(scheme).hierarchical;
}

bool URISchemes::isLinkOnly(std::u16string_view scheme) noexcept {
  return information(scheme).linkOnly;
}

}  // namespace HTMLFilter
