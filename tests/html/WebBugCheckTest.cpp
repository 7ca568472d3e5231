#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "../support/FakeMessageProcessorInterface.h"
#include "html/URI.h"
#include "html/URL.h"
#include "html/WebBugCheck.h"

namespace {

using namespace std::literals;
using HTMLFilter::URI;
using HTMLFilter::URL;
using Options = FakeMessageProcessorInterface::Options;

// The counters that were called, as "Name=calls" separated by spaces.
std::string counted(const FakeMessageProcessorInterface& settings) {
  std::string text;
  for (const auto& [name, calls] : settings.counts) {
    text += (text.empty() ? "" : " ") + name + "=" + std::to_string(calls);
  }
  return text;
}

void allOn(Options& o) {
  o.BlockImagesWithVariables = o.BlockImagesWithIdentifiers = o.BlockImagesWithCookies = true;
  o.AllowSelectedWebBugProviders = true;
}

struct CheckCase {
  const char* name;
  std::u16string_view url;
  void (*configure)(Options&);
  bool allowed;
  const char* counts;
};

constexpr CheckCase checkCases[] = {
    {"nothing on", u"http://x.com/a.gif", [](Options&) {}, true, ""},
    {"cid is always allowed", u"cid:part1",
     [](Options& o) {
       allOn(o);
       o.BlockExternalImages = true;
     },
     true, ""},
    {"absolute path without scheme", u"/img/a.gif", allOn, false, ""},
    {"relative without scheme", u"a.gif", [](Options&) {}, false, ""},
    {"script", u"javascript:f()", [](Options&) {}, false, ""},
    {"unknown scheme", u"about:blank", [](Options&) {}, false, ""},
    {"link-only network scheme", u"mailto:a@b.com", [](Options&) {}, false, ""},
    {"external http", u"http://x.com/a.gif", [](Options& o) { o.BlockExternalImages = true; }, false,
     "ExternalImagesBlocked=1"},
    {"external mailto", u"mailto:a@b.com", [](Options& o) { o.BlockExternalImages = true; }, false,
     "ExternalImagesBlocked=1"},
    {"external counted before providers", u"http://friend.com/a.gif",
     [](Options& o) {
       allOn(o);
       o.BlockExternalImages = true;
     },
     false, "ExternalImagesBlocked=1"},
    {"provider blocked with every option off", u"http://tracker.com/a.gif", [](Options&) {}, false,
     "ProviderImagesBlocked=1"},
    {"provider behind user, case, dot and port", u"http://u@TRACKER.com.:80/a.gif", [](Options&) {}, false,
     "ProviderImagesBlocked=1"},
    {"provider behind backslashes and escapes", u"https:\\\\tr%61cker.com\\a.gif", [](Options&) {}, false,
     "ProviderImagesBlocked=1"},
    {"provider on rtsp", u"rtsp://tracker.com/a", [](Options&) {}, false, "ProviderImagesBlocked=1"},
    {"allowed provider passes with a query", u"http://friend.com/a.gif?id=jdoe@example.com", allOn, true,
     "AllowedProviderImages=1"},
    {"allowed provider without the option", u"http://friend.com/a.gif", [](Options&) {}, false,
     "ProviderImagesBlocked=1"},
    {"unlisted provider with the option", u"http://tracker.com/a.gif", allOn, false,
     "ProviderImagesBlocked=1"},
    {"lone ?", u"http://x.com/a.gif?", [](Options& o) { o.BlockImagesWithVariables = true; }, false,
     "ImagesWithVariablesBlocked=1"},
    {"no query", u"http://x.com/a.gif#?x", [](Options& o) { o.BlockImagesWithVariables = true; }, true, ""},
    {"variables before identifiers", u"http://x.com/a.gif?to=jdoe@example.com", allOn, false,
     "ImagesWithVariablesBlocked=1"},
    {"identifier", u"http://x.com/jdoe@example.com/a.gif", allOn, false, "ImagesWithIdentifiersBlocked=1"},
    {"identifier off", u"http://x.com/jdoe@example.com/a.gif", [](Options&) {}, true, ""},
    {"identifier before cookies", u"http://u@cookie.com/a.gif", allOn, false,
     "ImagesWithIdentifiersBlocked=1"},
    {"http cookie", u"http://cookie.com/a.gif", allOn, false, "ImagesWithCookiesBlocked=1"},
    {"https cookie", u"https://cookie.com/a.gif", allOn, false, "ImagesWithCookiesBlocked=1"},
    {"cookie behind case, dot and port", u"http://COOKIE.com.:8080/a.gif", allOn, false,
     "ImagesWithCookiesBlocked=1"},
    {"ftp is not tested for cookies", u"ftp://cookie.com/a.gif", allOn, true, ""},
    {"cookie test off", u"http://cookie.com/a.gif", [](Options&) {}, true, ""},
};

TEST(WebBugCheckTest, Rules) {
  for (const auto& row : checkCases) {
    SCOPED_TRACE(row.name);
    FakeMessageProcessorInterface settings;
    settings.providers["tracker.com"] = {"Tracker", false};
    settings.providers["friend.com"] = {"Friend", true};
    settings.hostsWithCookies = {"cookie.com"};
    row.configure(settings.options);
    EXPECT_EQ(HTMLFilter::imageURLAllowed(URI(row.url), settings), row.allowed);
    EXPECT_EQ(counted(settings), row.counts);
  }
}

TEST(WebBugCheckTest, AsksProvidersOnlyForLoadableNetworkURLs) {
  FakeMessageProcessorInterface settings;
  for (const auto url : {u"cid:x"sv, u"a.gif"sv, u"mailto:a@b.c"sv, u"javascript:x"sv}) {
    EXPECT_FALSE(HTMLFilter::imageURLAllowed(URI(url), settings) && url != u"cid:x");
  }
  settings.options.BlockExternalImages = true;
  EXPECT_FALSE(HTMLFilter::imageURLAllowed(URI(u"http://tracker.com/"), settings));
  EXPECT_TRUE(settings.providerLookups.empty());
  settings.options.BlockExternalImages = false;
  EXPECT_TRUE(HTMLFilter::imageURLAllowed(URI(u"http://u:p@Host.Example:81/x"), settings));
  EXPECT_EQ(settings.providerLookups, std::vector<std::string>{"host.example"});
}

struct ScoreCase {
  std::u16string_view url;
  int sensitivity;
  long long score;
};

const ScoreCase scoreCases[] = {
    // P of 10 characters, 4 digits and 2 more a-f: 75*4/10 + 80*6/10 + the mixed-case term.
    {u"1234abghij", 1, 30 + 48 + 0},
    {u"1234abGhij", 1, 30 + 48 + 16},
    {u"1234abGHIJ", 1, 30 + 48 + 32},
    {u"1234abGHIJ", 0, 16 + 30 + 20},
    {u"1234abGHIJ", 2, 36 + 57 + 38},
    // Each term is truncated on its own: 100 exactly, counted as 42 + 22 + 35.
    {u"1g1g1a1", 1, 99},
    // Length: 13 characters at High add 5; 25 at Low nothing, 26 one point.
    {u"ghijklmnopqrs", 2, 5},
    {u"ghijklmnopqrstuvwxyzghijk", 0, 0},
    {u"ghijklmnopqrstuvwxyzghijkl", 0, 1},
    {u"ghijklmnopqr;s", 2, 10},
    // Sensitivity out of range is the nearest one.
    {u"ghijklmnopqrs", 7, 5},
    {u"ghijklmnopqrstuvwxyzghijk", -3, 0},
    // The query is part of P, the fragment is not.
    {u"g?1234567890", 1, 62 + 66},
    {u"g#1234567890", 1, 0},
    {u"http://u@x/", 0, 100},
    {u"http://x/jdoe@example.com", 0, 100 + 50 * 6 / 17},
    {u"", 1, 0},
};

TEST(WebBugCheckTest, IdentifierScore) {
  for (const auto& row : scoreCases) {
    SCOPED_TRACE(std::string(row.url.begin(), row.url.end()) + " at " + std::to_string(row.sensitivity));
    const URL url(row.url);
    EXPECT_EQ(HTMLFilter::identifierScore(url, row.sensitivity), row.score);
    EXPECT_EQ(HTMLFilter::looksLikeIdentifier(url, row.sensitivity), row.score >= 100);
  }
}

TEST(WebBugCheckTest, EmailAtEverySensitivity) {
  for (int sensitivity = 0; sensitivity <= 2; ++sensitivity) {
    EXPECT_TRUE(HTMLFilter::looksLikeIdentifier(URL(u"http://x/a?r=jdoe@example.com"), sensitivity));
    EXPECT_FALSE(HTMLFilter::looksLikeIdentifier(URL(u"http://x/a?r=jdoe@example"), sensitivity));
  }
}

struct EmailCase {
  std::u16string_view text;
  bool found;
};

const EmailCase emailCases[] = {
    {u"a@b.c", true},       {u"a&_.-9@x-y.z", true}, {u"a@b.c.", true},     {u"x@y then a@b.c", true},
    {u"a@b", false},        {u"a@b.", false},        {u"@b.c", false},      {u"a@", false},
    {u"a@.b.c", false},     {u"a@b..c", false},      {u"a @b.c", false},    {u"a@@b.c", false},
    {u"\u00E9@b.c", false}, {u"a\0@b.c"sv, false},   {u"a@b\0.c"sv, false}, {u"", false},
};

TEST(WebBugCheckTest, ContainsEmailAddress) {
  for (const auto& row : emailCases) {
    SCOPED_TRACE(std::string(row.text.begin(), row.text.end()));
    EXPECT_EQ(HTMLFilter::containsEmailAddress(row.text), row.found);
  }
}

}  // namespace
