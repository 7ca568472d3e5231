#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

struct FileTypeRow {
  const char* MIMEType;
  const char* Extensions;
  std::array<int, 3> Actions;  // Low, Medium, High
};

constexpr FileTypeRow FileTypeRows[] = {
    {"text/html", "htm;html", {3, 3, 3}},
    {"application/octet-stream", "bat;com;exe;pif;scr;shs", {1, 2, 2}},
    {"application/octet-stream", "386;dll;drv;vxd", {1, 1, 2}},
    {"text/javascript", "js;jse", {1, 2, 2}},
    {"text/vbscript", "vb;vba;vbe;vbs", {1, 2, 2}},
    {"text/scriptlet", "sct;wsc;wsf;wsh", {1, 2, 2}},
    {"video/x-ms-asf", "asx", {1, 1, 2}},
    {"application/octet-stream", "bas", {1, 1, 2}},
    {"application/octet-stream", "chm", {1, 2, 2}},
    {"application/octet-stream", "cmd", {1, 2, 2}},
    {"application/octet-stream", "cnf", {1, 2, 2}},
    {"application/octet-stream", "cpl", {1, 2, 2}},
    {"application/x-x509-ca-cert", "crt", {1, 2, 2}},
    {"text/css", "css", {1, 1, 2}},
    {"application/winhlp", "hlp", {1, 1, 2}},
    {"application/hta", "hta", {1, 2, 2}},
    {"application/octet-stream", "ins;isp", {1, 2, 2}},
    {"application/octet-stream", "lnk", {1, 2, 2}},
    {"application/x-msaccess", "mdb", {1, 1, 2}},
    {"application/octet-stream", "ade;adn;adp;mda;mde;mdz", {1, 1, 2}},
    {"application/octet-stream", "mad;maf;mag;mam;maq;mar;mas;mat;mav;maw", {1, 1, 2}},
    {"application/octet-stream", "msc", {1, 2, 2}},
    {"application/octet-stream", "msi;msp", {1, 2, 2}},
    {"application/octet-stream", "mst", {1, 1, 2}},
    {"application/octet-stream", "pcd", {1, 1, 2}},
    {"application/octet-stream", "pl", {1, 1, 2}},
    {"application/postscript", "ps", {1, 1, 2}},
    {"application/octet-stream", "py", {1, 1, 2}},
    {"application/octet-stream", "reg", {1, 1, 2}},
    {"application/octet-stream", "scf", {1, 2, 2}},
    {"application/octet-stream", "shb", {1, 2, 2}},
    {"text/iuls", "uls", {1, 2, 2}},
    {"application/octet-stream", "url", {1, 1, 2}},
    {"application/octet-stream", "wiz", {1, 2, 2}},
    {"application/octet-stream", "xnk", {1, 2, 2}},
    {"message/external-body", "", {2, 2, 2}},
};


std::vector<std::string> ExpectedRows(std::size_t level) {
  std::vector<std::string> rows;
  for (const FileTypeRow& row : FileTypeRows) {
    rows.push_back(std::string(row.MIMEType) + ":" + std::to_string(row.Actions[level]) + ":" +
                   row.Extensions);
  }
  return rows;
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

TEST(BuiltInSecurityProfilesTest, TemplatesHoldTheThirtySixAttachmentTypesInOrder) {
  for (std::size_t level = 0; level < 3; ++level) {
    SCOPED_TRACE(LevelNames[level]);
    EXPECT_EQ(RowsOf(TemplateAt(level).AttachmentFileTypes), ExpectedRows(level));
  }
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
    EXPECT_EQ(RowsOf(profile->AttachmentFileTypes), ExpectedRows(static_cast<std::size_t>(i)));
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
  EXPECT_EQ(RowsOf(medium.AttachmentFileTypes), ExpectedRows(1));
}

}  // namespace
