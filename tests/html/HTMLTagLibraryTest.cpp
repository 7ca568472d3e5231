#include <gtest/gtest.h>

#include <string_view>

#include "html/HTMLTagLibrary.h"
#include "html/HTMLTagTables.h"

namespace {

using HTMLTagLibrary::getTagInformation;

struct AttributeCase {
  std::string_view tag;
  std::string_view attribute;
  bool standard;
};

const AttributeCase attributeCases[] = {
    {"img", "src", true},        {"img", "lowsrc", true},        {"img", "usemap", true},
    {"img", "dynsrc", false},    {"img", "onclick", true},       {"script", "language", false},
    {"script", "src", true},     {"style", "title", true},       {"style", "type", true},
    {"style", "class", false},   {"style", "id", false},         {"comment", "id", true},
    {"comment", "class", false}, {"font", "point-size", true},   {"font", "weight", true},
    {"font", "family", false},   {"font", "ptsize", false},      {"font", "language", true},
    {"address", "lang", true},   {"br", "clear", true},          {"br", "onclick", false},
    {"a", "href", true},         {"a", "eudora", false},         {"a", "", false},
    {"td", "nowrap", true},      {"marquee", "truespeed", true}, {"tr", "height", false},
};

TEST(HTMLTagLibraryTest, StandardAttributes) {
  for (const AttributeCase& c : attributeCases) {
    const HTMLTagLibrary::TagInformation* info = getTagInformation(c.tag);
    ASSERT_NE(info, nullptr) << c.tag;
    EXPECT_EQ(info->isStandardAttribute(c.attribute), c.standard) << c.tag << " " << c.attribute;
  }
}

TEST(HTMLTagLibraryTest, OtherAttributesAreKeptApart) {
  EXPECT_EQ(getTagInformation("img")->otherAttributes.count("dynsrc"), 1u);
  EXPECT_EQ(getTagInformation("script")->otherAttributes.count("language"), 1u);
  EXPECT_EQ(getTagInformation("comment")->standardAttributes.size(), 3u);
  EXPECT_TRUE(getTagInformation("abbr")->otherAttributes.empty());
}

TEST(HTMLTagLibraryTest, UnknownKeys) {
  for (const std::string_view key : {"o:p", "x-tag", "", "IMG", "Img", "img ", "sound", "imgs"}) {
    EXPECT_EQ(getTagInformation(key), nullptr) << key;
  }
}

TEST(HTMLTagLibraryTest, EveryRowIsATagWithItsFlags) {
  int second = 0;
  int third = 0;
  for (const HTMLTagLibrary::TagRow& row : HTMLTagLibrary::tagTable) {
    const HTMLTagLibrary::TagInformation* info = getTagInformation(row.name);
    ASSERT_NE(info, nullptr) << row.name;
    EXPECT_EQ(info->flags[0], 1) << row.name;
    second += info->flags[1];
    third += info->flags[2];
  }
  EXPECT_EQ(second, 20);
  EXPECT_EQ(third, 57);
  EXPECT_EQ(getTagInformation("br")->flags[1], 1);
  EXPECT_EQ(getTagInformation("xmp")->flags[2], 1);
}

}  // namespace
