#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "RecordingHandler.h"
#include "html/URI.h"
#include "html/URISchemes.h"
#include "html/URL.h"

namespace {

using namespace std::literals;
using HTMLFilter::SchemeClass;
using HTMLFilter::URI;
using HTMLFilter::URISchemes;
using HTMLFilter::URL;

std::string show(std::u16string_view text) {
  return RecordingHandler::show(text);
}

// scheme|user|password|host|segments|file|params|query|fragment, each segment as <...>.
std::string parts(const URL& url) {
  std::string segments;
  for (const auto& segment : url.segments) segments += "<" + show(segment) + ">";
  return show(url.scheme) + "|" + show(url.user) + "|" + show(url.password) + "|" + show(url.host) + "|" +
         segments + "|" + show(url.file) + "|" + show(url.params) + "|" + show(url.query) + "|" +
         show(url.fragment);
}

TEST(URISchemesTest, TableAndCase) {
  EXPECT_EQ(URISchemes::schemeClass(u"cid"), SchemeClass::embedded);
  EXPECT_EQ(URISchemes::schemeClass(u"HTTPS"), SchemeClass::network);
  EXPECT_EQ(URISchemes::schemeClass(u"vbscript"), SchemeClass::script);
  EXPECT_EQ(URISchemes::schemeClass(u""), SchemeClass::unknown);
  EXPECT_EQ(URISchemes::schemeClass(u"javascripts"), SchemeClass::unknown);
  EXPECT_EQ(URISchemes::schemeClass(u"http\u0100"), SchemeClass::unknown);
  for (const auto scheme : {u"http"sv, u"https"sv, u"ftp"sv, u"rtsp"sv}) {
    EXPECT_TRUE(URISchemes::isHierarchical(scheme));
    EXPECT_TRUE(URISchemes::isResource(scheme));
  }
  for (const auto scheme : {u"mailto"sv, u"news"sv, u"nntp"sv, u"telnet"sv, u"javascript"sv}) {
    EXPECT_TRUE(URISchemes::isLinkOnly(scheme));
    EXPECT_FALSE(URISchemes::isResource(scheme));
    EXPECT_FALSE(URISchemes::isHierarchical(scheme));
  }
  EXPECT_TRUE(URISchemes::isResource(u"cid"));
  EXPECT_FALSE(URISchemes::isResource(u"about"));
}

struct URICase {
  const char* name;
  std::u16string_view text;
  std::u16string_view scheme;
  std::u16string_view remainder;
};

const URICase uriCases[] = {
    {"plain", u"http://a/b", u"http", u"//a/b"},
    {"scheme is lower-cased", u"HtTp:x", u"http", u"x"},
    {"scheme characters", u"a+b-c.9:e", u"a+b-c.9", u"e"},
    {"tab inside the scheme", u"java\tscript:alert(1)", u"javascript", u"alert(1)"},
    {"CR LF anywhere", u"java\r\nscript:a\r\nb", u"javascript", u"ab"},
    {"lone CR", u"vb\rscript:x", u"vbscript", u"x"},
    {"controls and spaces trimmed", u"\0 \x01javascript:x \x1F\0"sv, u"javascript", u"x"},
    {"NUL inside ends the scan", u"ht\0tp:x"sv, u"", u"ht\0tp:x"sv},
    {"leading digit: no scheme", u"2x:y", u"", u"2x:y"},
    {"leading +: no scheme", u"+a:b", u"", u"+a:b"},
    {"leading colon keeps it", u":y", u"", u":y"},
    {"8-bit character ends the scan", u"h\u00E9:x", u"", u"h\u00E9:x"},
    {"stops early: no colon", u"http", u"", u"http"},
    {"relative", u"/img/a.gif", u"", u"/img/a.gif"},
    {"empty", u"", u"", u""},
    {"only controls", u"\t\x01 ", u"", u""},
};

TEST(URITest, Parse) {
  for (const auto& row : uriCases) {
    SCOPED_TRACE(row.name);
    const URI uri(row.text);
    EXPECT_EQ(show(uri.scheme), show(row.scheme));
    EXPECT_EQ(show(uri.remainder), show(row.remainder));
  }
}

TEST(URITest, TextSchemeAndClear) {
  URI uri(u"HTTP:x");
  EXPECT_EQ(show(uri.text()), "http:x");
  URI relative(u"a.gif");
  EXPECT_EQ(show(relative.text()), "a.gif");
  relative.takeSchemeFrom(uri);
  EXPECT_EQ(show(relative.text()), "http:a.gif");
  relative.takeSchemeFrom(URI(u"ftp:y"));
  EXPECT_EQ(show(relative.scheme), "http");
  relative.clear();
  EXPECT_TRUE(relative.scheme.empty() && relative.remainder.empty());
}

TEST(URITest, OverLongInput) {
  const std::u16string scheme(100000, u'a');
  const URI uri(scheme + u":" + scheme);
  EXPECT_EQ(uri.scheme.size(), scheme.size());
  EXPECT_EQ(uri.remainder, scheme);
}

struct URLCase {
  const char* name;
  std::u16string_view text;
  const char* parts;
  const char* canonical;
};

const URLCase urlCases[] = {
    {"every part", u"http://u:p@Host:80/a/b/c;p;q?x=1#f?g", "http|u|p|host:80|<><a><b>|c|;p;q|?x=1|#f?g",
     "http://u:p@host:80/a/b/c;p;q?x=1#f?g"},
    {"backslashes are slashes", u"http:\\\\Evil.COM\\x\\y.gif", "http|||evil.com|<><x>|y.gif|||",
     "http://evil.com/x/y.gif"},
    {"no slash still names the host", u"http:host/x", "http|||host|<>|x|||", "http://host/x"},
    {"any run of slashes", u"https:////host//x", "https|||host|<><>|x|||", "https://host//x"},
    {"backslash in the query stays", u"ftp:/\\host?a\\b", "ftp|||host|<>|||?a\\b|", "ftp://host/?a\\b"},
    {"backslash in the fragment stays", u"http://h#a?b\\c", "http|||h|<>||||#a?b\\c", "http://h/#a?b\\c"},
    {"last @ ends the user information", u"http://a@b:c@d@tracker.com/", "http|a@b|c@d|tracker.com|<>||||",
     "http://a@b:c@d@tracker.com/"},
    {"password without user", u"http://:pw@h/", "http||pw|h|<>||||", "http://:pw@h/"},
    {"empty user information", u"http://@h/", "http|||h|<>||||", "http://h/"},
    {"host alone gets a path", u"http://h", "http|||h|<>||||", "http://h/"},
    {"lone ?", u"http://h?", "http|||h|<>|||?|", "http://h/?"},
    {"IPv6 and port", u"http://[::1]:8080/x", "http|||[::1]:8080|<>|x|||", "http://[::1]:8080/x"},
    {"stops early: scheme only", u"http:", "http||||<>||||", "http:///"},
    {"stops early: after the @", u"http://u:p@", "http|u|p||<>||||", "http://u:p@/"},
    {"empty host before a path keeps its @", u"http:@/evil.com/x", "http||||<><evil.com>|x|||",
     "http://@/evil.com/x"},
    {"rtsp is read generically", u"rtsp:\\\\H\\x", "rtsp|||||\\\\H\\x|||", "rtsp:\\\\H\\x"},
    {"rtsp host keeps its case", u"rtsp://U@H:554/x", "rtsp|U||H:554|<>|x|||", "rtsp://U@H:554/x"},
    {"user without host is kept", u"rtsp://u@/x", "rtsp|u|||<>|x|||", "rtsp://u@/x"},
    {"relative path", u"rtsp:x/y", "rtsp||||<x>|y|||", "rtsp:x/y"},
    {"mailto", u"mailto:a@b.com?subject=x", "mailto|||||a@b.com||?subject=x|", "mailto:a@b.com?subject=x"},
    {"javascript", u"javascript:f('a/b')", "javascript||||<f('a>|b')|||", "javascript:f('a/b')"},
    {"network path without scheme", u"//host/x", "|||host|<>|x|||", "//host/x"},
    {"empty authority before //", u"////x", "||||<><>|x|||", "////x"},
    {"params only in the last component", u"a;b/c;d;e", "||||<a;b>|c|;d;e||", "a;b/c;d;e"},
    {"empty", u"", "||||||||", ""},
    {"NUL", u"http://h/\0x"sv, "http|||h|<>|\\u0000x|||", "http://h/\\u0000x"},
    {"lone CR is dropped", u"http://h/a\rb", "http|||h|<>|ab|||", "http://h/ab"},
    {"8-bit characters", u"http://H\u00C9/\u00E9\uFFFF", "http|||h\\u00C9|<>|\\u00E9\\uFFFF|||",
     "http://h\\u00C9/\\u00E9\\uFFFF"},
};

TEST(URLTest, ParseAndText) {
  for (const auto& row : urlCases) {
    SCOPED_TRACE(row.name);
    const URL url(row.text);
    EXPECT_EQ(parts(url), row.parts);
    EXPECT_EQ(show(url.text()), row.canonical);
    // What we forward reads back as what we judged.
    EXPECT_EQ(show(URL(url.text()).text()), row.canonical);
  }
}

TEST(URLTest, FromURIEmptyAndClear) {
  const URL url(URI(u"HTTP://x/y"));
  EXPECT_EQ(parts(url), "http|||x|<>|y|||");
  EXPECT_TRUE(URL().empty());
  EXPECT_TRUE(URL(u" \t").empty());
  EXPECT_FALSE(URL(u"#").empty());
  URL cleared(u"http://u:p@h/a/b;c?d#e");
  cleared.clear();
  EXPECT_TRUE(cleared.empty());
  EXPECT_EQ(show(cleared.text()), "");
}

TEST(URLTest, OverLongInput) {
  const std::u16string name(200000, u'a');
  const URL url(u"http://" + name + u"/" + name + u"/" + name + u"?" + name);
  EXPECT_EQ(url.host, name);
  EXPECT_EQ(url.segments.size(), 2U);
  EXPECT_EQ(url.file, name);
  EXPECT_EQ(url.query.size(), name.size() + 1);
}

struct ResolveCase {
  std::u16string_view base;
  std::u16string_view reference;
  const char* resolved;
};

constexpr std::u16string_view rfc = u"http://a/b/c/d;p?q#f";

const ResolveCase resolveCases[] = {
    // RFC 1808, normal examples.
    {rfc, u"g:h", "g:h"},
    {rfc, u"g", "http://a/b/c/g"},
    {rfc, u"./g", "http://a/b/c/g"},
    {rfc, u"g/", "http://a/b/c/g/"},
    {rfc, u"/g", "http://a/g"},
    {rfc, u"//g", "http://g/"},
    {rfc, u"?y", "http://a/b/c/d;p?y"},
    {rfc, u"g?y", "http://a/b/c/g?y"},
    {rfc, u"#s", "http://a/b/c/d;p?q#s"},
    {rfc, u"g;x?y#s", "http://a/b/c/g;x?y#s"},
    {rfc, u";x", "http://a/b/c/d;x"},
    {rfc, u"", "http://a/b/c/d;p?q"},
    {rfc, u".", "http://a/b/c/"},
    {rfc, u"./", "http://a/b/c/"},
    {rfc, u"..", "http://a/b/"},
    {rfc, u"../g", "http://a/b/g"},
    {rfc, u"../..", "http://a/"},
    {rfc, u"../../", "http://a/"},
    {rfc, u"../../g", "http://a/g"},
    // RFC 1808, abnormal examples.
    {rfc, u"../../../g", "http://a/../g"},
    {rfc, u"/./g", "http://a/g"},
    {rfc, u"g.", "http://a/b/c/g."},
    {rfc, u"..g", "http://a/b/c/..g"},
    {rfc, u"./../g", "http://a/b/g"},
    {rfc, u"./g/.", "http://a/b/c/g/"},
    {rfc, u"g/./h", "http://a/b/c/g/h"},
    {rfc, u"g/../h", "http://a/b/c/h"},
    {rfc, u"g//h", "http://a/b/c/g/h"},
    // A browser reads "http:g" under a non-http page as naming the host "g"; the canonical
    // text we forward says so, where RFC 1808 keeps "http:g".
    {rfc, u"http:g", "http://g/"},
    // Below an http base, two backslashes start a host, one an absolute path.
    {rfc, u"\\\\evil.com\\x", "http://evil.com/x"},
    {rfc, u"/\\evil.com", "http://evil.com/"},
    {rfc, u"\\x", "http://a/x"},
    {u"rtsp://a/b/c", u"\\\\h", "rtsp://a/b/\\\\h"},
    {u"mailto:x", u"y", "mailto:/y"},
    {u"", u"a/./b", "/a/b"},
};

TEST(URLTest, Resolve) {
  for (const auto& row : resolveCases) {
    SCOPED_TRACE(show(row.reference));
    URL url(row.reference);
    url.resolve(URL(row.base));
    EXPECT_EQ(show(url.text()), row.resolved);
    EXPECT_EQ(show(url.remainder), show(url.text().substr(url.scheme.empty() ? 0 : url.scheme.size() + 1)));
  }
}

TEST(URLTest, TakeSchemeRereadsUnderTheBase) {
  URL url(u"\\\\Host\\x");
  EXPECT_TRUE(url.host.empty());
  url.takeSchemeFrom(URL(u"https://a/"));
  EXPECT_EQ(parts(url), "https|||host|<>|x|||");
}

struct HostCase {
  std::u16string_view text;
  const char* bareHost;
};

const HostCase hostCases[] = {
    {u"http://u:p@Tracker.COM.:80/x", "tracker.com"},
    {u"http://tr%61cker.com/", "tracker.com"},
    {u"http://%74racker%2Ecom/", "tracker.com"},
    {u"http://\uFF54racker\u3002com/", "tracker.com"},
    {u"http://%EF%BD%94racker.com/", "tracker.com"},
    {u"http://bad%zz.com%4/", "bad%zz.com%4"},
    {u"http://a.b../", "a.b."},
    {u"http://[::1]:80/", "[::1]"},
    {u"rtsp://H:554/", "h"},
    {u"http:///", ""},
};

TEST(URLTest, BareHost) {
  for (const auto& row : hostCases) {
    SCOPED_TRACE(show(row.text));
    EXPECT_EQ(show(URL(row.text).bareHost()), row.bareHost);
  }
}

}  // namespace
