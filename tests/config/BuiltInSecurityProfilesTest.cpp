#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/AsciiCase.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/TSecurityProfiles.h"
#include "config/ConfigTestSupport.h"

namespace {

using ConfigTest::RowsOf;

const TSecurityProfile& TemplateAt(std::size_t level) {
  switch (level) {
    case 0:
      return LowSecurityProfile();
    case 1:
      return MediumSecurityProfile();
    default:
      return HighSecurityProfile();
  }
}

constexpr std::array<const char*, 3> LevelNames = {"Low", "Medium", "High"};

struct OptionRow {
  const char* Name;
  std::array<std::int64_t, 3> Values;  // Low, Medium, High
};

// Every stored option of the three templates.
constexpr OptionRow OptionRows[] = {
    {"BlockMDNReadReceipts", {0, 1, 1}},
    {"ChangeMaliciousFilenames", {1, 1, 1}},
    {"BlockUUencodingInNonMime", {1, 1, 1}},
    {"DetectUUencodingInMime", {1, 1, 1}},
    {"HTMLMessageTextHandling", {0, 0, 3}},
    {"HTMLAttachmentsHandling", {0, 0, 3}},
    {"RenameHTMLAttachments", {0, 0, 0}},
    {"RemoveNonStandardHTML", {1, 1, 1}},
    {"RemoveScripting", {1, 1, 1}},
    {"RemoveEmbedding", {1, 1, 1}},
    {"RemoveFrames", {1, 1, 1}},
    {"BlockExternalCSS", {0, 1, 1}},
    {"RemoveBLINKTags", {0, 1, 1}},
    {"RemoveBGSOUNDTags", {0, 1, 1}},
    {"RemoveMETATags", {1, 1, 1}},
    {"BlockExternalImages", {0, 0, 1}},
    {"BlockImagesWithVariables", {0, 1, 1}},
    {"BlockImagesWithIdentifiers", {1, 1, 1}},
    {"BlockImagesWithIdentifiersSensitivity", {0, 1, 2}},
    {"BlockImagesWithCookies", {0, 0, 1}},
    {"Block1x1Images", {1, 1, 1}},
    {"AllowSelectedWebBugProviders", {1, 1, 0}},
};

// What the attachment policies mean, by the extension a file arrives with.
// Medium blocks what runs or installs itself when opened (programs, scripts, shortcuts,
// installers, certificates, control-panel items) ...
constexpr const char* MediumBlocks =
    "bat com exe pif scr shs js jse vb vba vbe vbs sct wsc wsf wsh chm cmd cnf cpl crt hta ins isp lnk "
    "msc msi msp scf shb uls wiz xnk";
// ... and renames what needs another program, or a second step, to do harm.
constexpr const char* MediumRenames =
    "386 dll drv vxd asx bas css hlp mdb ade adn adp mda mde mdz mad maf mag mam maq mar mas mat mav maw "
    "mst pcd pl ps py reg url";

std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  std::string word;
  for (const char* p = text;; ++p) {
    if (*p == ' ' || *p == '\0') {
      if (!word.empty()) {
        words.push_back(word);
      }
      word.clear();
      if (*p == '\0') {
        return words;
      }
    } else {
      word += *p;
    }
  }
}

// The action a profile takes on an attachment with this extension; -1 if no row lists it.
int ActionFor(const TSecurityProfile& profile, const std::string& extension) {
  const TAttachmentFileType* type = profile.AttachmentFileTypes.FindFileTypeByExtension(extension);
  return type == nullptr ? -1 : type->Action;
}

TEST(BuiltInSecurityProfilesTest, TemplatesHoldTheirOptionValues) {
  std::size_t checked = 0;
  for (const OptionRow& row : OptionRows) {
    for (std::size_t level = 0; level < 3; ++level) {
      SCOPED_TRACE(std::string(row.Name) + " of " + LevelNames[level]);
      const TSecurityProfile& profile = TemplateAt(level);
      const TPublishedProperty* property = profile.PublishedProperties().Find(row.Name);
      ASSERT_NE(property, nullptr);
      EXPECT_EQ(std::get<std::int64_t>(property->Get(profile)), row.Values[level]);
    }
    ++checked;
  }
  // Every stored option is in the table above (the two not stored are earlier versions').
  std::size_t stored = 0;
  for (const TPublishedProperty& property : LowSecurityProfile().PublishedProperties()) {
    stored += property.Stored ? 1 : 0;
  }
  EXPECT_EQ(stored, checked);
}

TEST(BuiltInSecurityProfilesTest, LowRenamesMediumSortsAndHighBlocksEveryListedExtension) {
  std::vector<std::string> listed = Words(MediumBlocks);
  for (const std::string& extension : Words(MediumRenames)) {
    listed.push_back(extension);
  }
  for (const std::string& extension : Words(MediumBlocks)) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(ActionFor(MediumSecurityProfile(), extension), TAttachmentFileType::Block);
  }
  for (const std::string& extension : Words(MediumRenames)) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(ActionFor(MediumSecurityProfile(), extension), TAttachmentFileType::Rename);
  }
  for (const std::string& extension : listed) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(ActionFor(LowSecurityProfile(), extension), TAttachmentFileType::Rename);
    EXPECT_EQ(ActionFor(HighSecurityProfile(), extension), TAttachmentFileType::Block);
    // Letter case of the file name does not matter.
    EXPECT_EQ(ActionFor(HighSecurityProfile(), asciiUpperCase(extension)), TAttachmentFileType::Block);
  }
  for (std::size_t level = 0; level < 3; ++level) {
    SCOPED_TRACE(LevelNames[level]);
    const TSecurityProfile& profile = TemplateAt(level);
    // HTML files are judged by the HTML options, not by an attachment action.
    EXPECT_EQ(ActionFor(profile, "htm"), TAttachmentFileType::SeeHTML);
    EXPECT_EQ(ActionFor(profile, "HTML"), TAttachmentFileType::SeeHTML);
    // Files the lists do not name pass (as the engine's default), and external bodies, which
    // would make the mail program fetch content from elsewhere, are blocked everywhere.
    for (const char* harmless : {"pdf", "txt", "zip", "jpg", "doc", ""}) {
      EXPECT_EQ(ActionFor(profile, harmless), -1) << harmless;
    }
    const TAttachmentFileType* externalBody =
        profile.AttachmentFileTypes.FindFileTypeByMIMEType("message", "external-body");
    ASSERT_NE(externalBody, nullptr);
    EXPECT_EQ(externalBody->Action, TAttachmentFileType::Block);
    // No other extension is listed, and none is allowed outright.
    std::size_t extensions = 0;
    for (int i = 0; i < profile.AttachmentFileTypes.GetCount(); ++i) {
      const TAttachmentFileType* type = profile.AttachmentFileTypes.AttachmentFileType(i);
      EXPECT_NE(type->Action, TAttachmentFileType::Allow) << type->MIMEType;
      extensions += type->Extensions().size();
    }
    EXPECT_EQ(extensions, listed.size() + 2);  // and "htm", "html"
  }
}

TEST(BuiltInSecurityProfilesTest, TheThreePoliciesListTheSameTypesInTheSameOrder) {
  // The Options dialog shows the rows side by side; only the actions differ.
  const TAttachmentFileTypes& low = LowSecurityProfile().AttachmentFileTypes;
  for (std::size_t level = 1; level < 3; ++level) {
    SCOPED_TRACE(LevelNames[level]);
    const TAttachmentFileTypes& other = TemplateAt(level).AttachmentFileTypes;
    ASSERT_EQ(other.GetCount(), low.GetCount());
    for (int i = 0; i < low.GetCount(); ++i) {
      EXPECT_EQ(other.AttachmentFileType(i)->MIMEType, low.AttachmentFileType(i)->MIMEType) << i;
      EXPECT_EQ(other.AttachmentFileType(i)->GetExtensionsList(), low.AttachmentFileType(i)->GetExtensionsList())
          << i;
    }
  }
  EXPECT_EQ(low.GetCount(), 36);
  // The first row wins a lookup, so "xnk" finds its own row, not external-body.
  EXPECT_EQ(MediumSecurityProfile().AttachmentFileTypes.FindFileTypeByExtension("XNK")->MIMEType,
            "application/octet-stream");
}

TEST(BuiltInSecurityProfilesTest, BuiltInNamesAreExact) {
  struct Case {
    const char* Name;
    bool BuiltIn;
  };
  const Case cases[] = {{"Low", true},   {"Medium", true},   {"High", true},    {"low", false},
                        {"HIGH", false}, {"Medium ", false}, {"Custom", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IsBuiltInSecurityProfileName(c.Name), c.BuiltIn);
    EXPECT_EQ(BuiltInSecurityProfileTemplate(c.Name) != nullptr, c.BuiltIn);
  }
  EXPECT_EQ(BuiltInSecurityProfileTemplate("Medium"), &MediumSecurityProfile());
}

TEST(BuiltInSecurityProfilesTest, MissingBuiltInsAreAddedAsCopiesInOrder) {
  TSecurityProfiles profiles;
  CreateDefaultSecurityProfiles(profiles);

  ASSERT_EQ(profiles.GetCount(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(LevelNames[static_cast<std::size_t>(i)]);
    EXPECT_EQ(profiles.GetName(i), LevelNames[static_cast<std::size_t>(i)]);
    const TSecurityProfile* profile = profiles.GetSecurityProfile(i);
    EXPECT_NE(profile, &TemplateAt(static_cast<std::size_t>(i)));
    EXPECT_EQ(RowsOf(profile->AttachmentFileTypes), RowsOf(TemplateAt(static_cast<std::size_t>(i)).AttachmentFileTypes));
  }
  profiles.GetSecurityProfile(1)->AttachmentFileTypes.AttachmentFileType(1)->Action =
      TAttachmentFileType::Allow;
  EXPECT_EQ(MediumSecurityProfile().AttachmentFileTypes.AttachmentFileType(1)->Action,
            TAttachmentFileType::Block);
}

TEST(BuiltInSecurityProfilesTest, StoredProfilesKeepTheirValuesAndALowerCaseLowCountsAsLow) {
  TSecurityProfiles profiles;
  auto changedMedium = std::make_unique<TSecurityProfile>();
  changedMedium->BlockExternalImages = true;
  profiles.Add("Medium", std::move(changedMedium));
  profiles.Add("low", std::make_unique<TSecurityProfile>());

  CreateDefaultSecurityProfiles(profiles);

  ASSERT_EQ(profiles.GetCount(), 3);
  EXPECT_EQ(profiles.GetName(0), "Medium");
  EXPECT_EQ(profiles.GetName(1), "low");
  EXPECT_EQ(profiles.GetName(2), "High");
  EXPECT_TRUE(profiles.GetSecurityProfile(0)->BlockExternalImages);
  EXPECT_EQ(profiles.GetSecurityProfile(0)->AttachmentFileTypes.GetCount(), 0);
  EXPECT_FALSE(IsBuiltInSecurityProfileName(profiles.GetName(1)));
}

TEST(BuiltInSecurityProfilesTest, ResetRestoresTheTemplateAfterEdits) {
  TSecurityProfiles profiles;
  CreateDefaultSecurityProfiles(profiles);
  TSecurityProfile& medium = *profiles.GetSecurityProfile(profiles.IndexOf("Medium"));
  medium.RemoveScripting = false;
  medium.HTMLMessageTextHandling = TSecurityProfile::HTMLDontFilter;
  medium.AttachmentFileTypes.Delete(5);
  medium.AttachmentFileTypes.AttachmentFileType(0)->SetExtensionsList("htm");
  medium.AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("application/zip", 0, "zip"));

  medium.Assign(*BuiltInSecurityProfileTemplate(profiles.GetName(profiles.IndexOf("Medium"))));

  EXPECT_TRUE(medium.RemoveScripting);
  EXPECT_EQ(medium.HTMLMessageTextHandling, TSecurityProfile::HTMLFilter);
  EXPECT_EQ(medium.AttachmentFileTypes.GetCount(), 36);
  EXPECT_EQ(RowsOf(medium.AttachmentFileTypes), RowsOf(MediumSecurityProfile().AttachmentFileTypes));
}

}  // namespace
