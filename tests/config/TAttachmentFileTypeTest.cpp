#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/ConfigTestSupport.h"
#include "config/TAttachmentFileType.h"
#include "config/TAttachmentFileTypes.h"

namespace {

using ConfigTest::Dword;
using ConfigTest::Sz;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Optional;

TEST(TAttachmentFileTypeTest, SplitsTheExtensionText) {
  struct Case {
    const char* text;
    std::vector<std::string> extensions;
  };
  const Case cases[] = {
      {"exe;;com;", {"exe", "com"}},
      {";exe", {"exe"}},
      {"", {}},
      {";;;", {}},
      {"exe", {"exe"}},
      {" exe ; com", {" exe ", " com"}},  // blanks are kept
      {R"(a\;b;c)", {"a;b", "c"}},
      {R"(a\\;b)", {R"(a\)", "b"}},
      {R"(\x\y)", {"xy"}},
      {R"(\;)", {";"}},
      {R"(trail\)", {R"(trail\)"}},  // a "\" that escapes nothing is kept
      {"EXE;Exe", {"EXE", "Exe"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TAttachmentFileType fileType;
    fileType.SetExtensionsList(c.text);
    EXPECT_THAT(fileType.Extensions(), ElementsAreArray(c.extensions));
    EXPECT_EQ(TAttachmentFileType("x/y", 0, c.text).Extensions(), c.extensions);
  }
}

TEST(TAttachmentFileTypeTest, JoinsTheExtensionsEscapingSeparatorsAndBackslashes) {
  struct Case {
    std::vector<std::string> extensions;
    const char* text;
  };
  const Case cases[] = {
      {{"exe", "com"}, "exe;com"},        {{}, ""}, {{"a;b", "c"}, R"(a\;b;c)"}, {{R"(c\d)"}, R"(c\\d)"},
      {{";", R"(\)", " "}, R"(\;;\\; )"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TAttachmentFileType fileType;
    fileType.SetExtensions(c.extensions);
    EXPECT_EQ(fileType.GetExtensionsList(), c.text);
    TAttachmentFileType back;
    back.SetExtensionsList(fileType.GetExtensionsList());
    EXPECT_EQ(back.Extensions(), c.extensions);
  }
}

TEST(TAttachmentFileTypeTest, ExtensionsCompareIgnoringCaseAndExactly) {
  const TAttachmentFileType fileType("application/x-msdownload", TAttachmentFileType::Block, "exe;Com");
  struct Case {
    const char* extension;
    bool has;
  };
  const Case cases[] = {{"exe", true}, {"EXE", true},   {"com", true}, {".exe", false},
                        {"ex", false}, {"exe ", false}, {"*", false},  {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    EXPECT_EQ(fileType.HasExtension(c.extension), c.has);
  }
}

TEST(TAttachmentFileTypeTest, SplitsTheMIMETypeAtTheFirstSlash) {
  struct Case {
    const char* mimeType;
    const char* mediaType;
    const char* subType;
  };
  const Case cases[] = {
      {"text/html", "text", "html"},
      {"application", "application", ""},
      {"a/b/c", "a", "b/c"},
      {"", "", ""},
      {"/x", "", "x"},
      {"image/", "image", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mimeType);
    const TAttachmentFileType fileType(c.mimeType, 0, "");
    EXPECT_EQ(fileType.MediaType(), c.mediaType);
    EXPECT_EQ(fileType.SubType(), c.subType);
  }
}

TEST(TAttachmentFileTypeTest, DefaultsAndActionNames) {
  const TAttachmentFileType fileType;
  EXPECT_EQ(fileType.MIMEType, "");
  EXPECT_EQ(fileType.Action, TAttachmentFileType::Allow);
  EXPECT_EQ(fileType.GetExtensionsCount(), 0);
  EXPECT_THAT(AttachmentActionNames, ElementsAre(std::string("Allow"), std::string("Rename"),
                                                 std::string("Block"), std::string("See HTML")));
}

TEST(TAttachmentFileTypeTest, SingleExtensionsByIndex) {
  TAttachmentFileType fileType("x/y", 0, "a;b");
  EXPECT_EQ(fileType.GetExtensionsCount(), 2);
  EXPECT_EQ(fileType.GetExtension(1), "b");
  fileType.SetExtension(0, "z;z");
  EXPECT_EQ(fileType.GetExtensionsList(), R"(z\;z;b)");
  EXPECT_THROW((void)fileType.GetExtension(2), std::out_of_range);
  EXPECT_THROW(fileType.SetExtension(-1, "q"), std::out_of_range);
}

TEST(TAttachmentFileTypeTest, AssignCopiesTheExtensionsExactly) {
  TAttachmentFileType source("Application/PDF", TAttachmentFileType::Rename, "pdf;x");
  source.SetExtension(1, "");  // an empty extension does not survive the text form
  TAttachmentFileType copy;
  copy.Assign(source);
  EXPECT_EQ(copy.MIMEType, "Application/PDF");
  EXPECT_EQ(copy.Action, TAttachmentFileType::Rename);
  EXPECT_THAT(copy.Extensions(), ElementsAre("pdf", ""));
  source.SetExtension(0, "changed");
  EXPECT_EQ(copy.GetExtension(0), "pdf");
}

using TAttachmentFileTypeStorageTest = ConfigTest::RegistryTest;

TEST_F(TAttachmentFileTypeStorageTest, TheRowsAreStoredInOrderWithTheEscapedExtensionText) {
  TAttachmentFileTypes rows;
  rows.AddFileType(std::make_unique<TAttachmentFileType>("application/x-msdownload",
                                                         TAttachmentFileType::Block, R"(exe;com;odd\;name)"));
  rows.AddFileType(
      std::make_unique<TAttachmentFileType>("text/html", TAttachmentFileType::SeeHTML, "htm;html"));
  rows.SaveToRegistry(Registry(), "\\Software\\QuorixTest\\Profile\\AttachmentFileTypes");
  const std::string row0 = "Software\\QuorixTest\\Profile\\AttachmentFileTypes\\00000000";
  EXPECT_THAT(reg.Get(row0, "MIMEType"), Optional(Sz("application/x-msdownload")));
  EXPECT_THAT(reg.Get(row0, "Action"), Optional(Dword(2)));
  EXPECT_THAT(reg.Get(row0, "ExtensionsList"), Optional(Sz(R"(exe;com;odd\;name)")));
  reg.Reopen();

  TAttachmentFileTypes loaded;
  ASSERT_TRUE(loaded.LoadFromRegistry(Registry(), "\\Software\\QuorixTest\\Profile\\AttachmentFileTypes"));
  ASSERT_EQ(loaded.GetCount(), 2);
  EXPECT_THAT(loaded.AttachmentFileType(0)->Extensions(), ElementsAre("exe", "com", "odd;name"));
  EXPECT_EQ(loaded.AttachmentFileType(1)->MIMEType, "text/html");
  EXPECT_EQ(loaded.AttachmentFileType(1)->Action, TAttachmentFileType::SeeHTML);
}

TEST(TAttachmentFileTypesTest, LookupsReturnTheFirstMatchingRow) {
  TAttachmentFileTypes rows;
  auto* exe =
      rows.AddFileType(std::make_unique<TAttachmentFileType>("application/octet-stream", 2, "exe;bin"));
  auto* html = rows.AddFileType(std::make_unique<TAttachmentFileType>("text/html", 3, "htm;html"));
  rows.AddFileType(std::make_unique<TAttachmentFileType>("TEXT/HTML", 0, "exe;shtml"));

  EXPECT_EQ(rows.FindFileTypeByExtension("EXE"), exe);
  EXPECT_EQ(rows.FindFileTypeByExtension("html"), html);
  EXPECT_EQ(rows.FindFileTypeByExtension("shtml"), rows.AttachmentFileType(2));
  EXPECT_EQ(rows.FindFileTypeByExtension(".exe"), nullptr);
  EXPECT_EQ(rows.FindFileTypeByExtension("doc"), nullptr);

  EXPECT_EQ(rows.FindFileTypeByMIMEType("Text", "HTML"), html);
  EXPECT_EQ(rows.FindFileTypeByMIMEType("application", "octet-stream"), exe);
  EXPECT_EQ(rows.FindFileTypeByMIMEType("text", "plain"), nullptr);
  EXPECT_EQ(rows.FindFileTypeByMIMEType("text/html", ""), nullptr);
  EXPECT_EQ(rows.AttachmentFileType(3), nullptr);
  EXPECT_EQ(TAttachmentFileTypes().FindFileTypeByExtension("exe"), nullptr);
}

TEST(TAttachmentFileTypesTest, FindsTheExtensionTheSystemKnowsForAMIMEType) {
  ConfigTest::TestRegistry reg;
  struct Case {
    const char* mediaType;
    const char* subType;
    const char* extension;
  };
  const Case cases[] = {
      {"text", "html", "html"},
      {"IMAGE", "JPEG", "jpeg"},  // the first extension listed, types compare ignoring case
      {"application", "pdf", "pdf"},
      {"application", "x-no-extension", ""},  // listed without extensions
      {"application", "x-unknown-to-the-system", ""},
      {"text", "", ""},
      {"", "", ""},
      {"text\\..\\..", "html", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mediaType) + "/" + c.subType);
    EXPECT_EQ(TAttachmentFileTypes::FindExtensionFromRegistry(reg.Store(), c.mediaType, c.subType),
              c.extension);
  }
}

TEST(TAttachmentFileTypesTest, AnyErrorOfTheLookupGivesNoExtension) {
  ConfigTest::TestRegistry reg;
  reg.ReplaceFile("this is not a settings file\n");
  EXPECT_EQ(TAttachmentFileTypes::FindExtensionFromRegistry(reg.Store(), "text", "html"), "");
}

}  // namespace
