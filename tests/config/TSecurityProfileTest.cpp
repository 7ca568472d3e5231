#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "config/ConfigTestSupport.h"
#include "config/EConvertError.h"
#include "config/SecurityProfileRules.h"
#include "config/TAccounts.h"
#include "config/TAddressOverrides.h"
#include "config/TSecurityProfile.h"
#include "config/TSecurityProfiles.h"
#include "platform/ERegistryException.h"

namespace {

using ConfigTest::Dword;
using ConfigTest::ErrorTextOf;
using ConfigTest::RowsOf;
using ConfigTest::Sz;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* ProfileKey = "\\Software\\Test\\Profile";
constexpr const char* ProfilePath = "Software\\Test\\Profile";
const std::string TypesPath = std::string(ProfilePath) + "\\AttachmentFileTypes";

std::int64_t OrdinalOf(const TSecurityProfile& profile, const std::string& name) {
  const TPublishedProperty* property = profile.PublishedProperties().Find(name);
  if (property == nullptr) {
    ADD_FAILURE() << "no property " << name;
    return -1;
  }
  return std::get<std::int64_t>(property->Get(profile));
}


void PutFileType(const ConfigTest::TestRegistry& reg, int index, const std::string& mimeType, int action,
                 const std::string& extensions) {
  char name[16];
  std::snprintf(name, sizeof name, "%.8d", index);
  const std::string path = TypesPath + "\\" + name;
  reg.Put(path, "MIMEType", Sz(mimeType));
  reg.Put(path, "Action", Dword(static_cast<std::uint32_t>(action)));
  reg.Put(path, "ExtensionsList", Sz(extensions));
}

TEST(TSecurityProfileTest, ConstructorSetsEverythingOffExceptNonMimeUUencodeBlocking) {
  const TSecurityProfile profile;
  for (const TPublishedProperty& property : profile.PublishedProperties()) {
    SCOPED_TRACE(property.Name);
    EXPECT_EQ(OrdinalOf(profile, property.Name), property.Name == "BlockUUencodingInNonMime" ? 1 : 0);
  }
  EXPECT_EQ(profile.AttachmentFileTypes.GetCount(), 0);
}

class TSecurityProfileRegistryTest : public ConfigTest::RegistryTest {};

// The value names are what the message engine and earlier versions know the options by.
TEST_F(TSecurityProfileRegistryTest, SaveWritesEveryStoredOptionAsADwordOfItsName) {
  TSecurityProfile profile;
  profile.HTMLMessageTextHandling = TSecurityProfile::HTMLConvertToText;
  profile.BlockImagesWithIdentifiersSensitivity = TSecurityProfile::SensitivityHigh;
  profile.Block1x1Images = true;
  profile.SaveToRegistry(Registry(), ProfileKey);

  EXPECT_THAT(
      reg.ValueNames(ProfilePath),
      ElementsAre("AllowSelectedWebBugProviders", "Block1x1Images", "BlockExternalCSS", "BlockExternalImages",
                  "BlockImagesWithCookies", "BlockImagesWithIdentifiers",
                  "BlockImagesWithIdentifiersSensitivity", "BlockImagesWithVariables", "BlockMDNReadReceipts",
                  "BlockUUencodingInNonMime", "ChangeMaliciousFilenames", "DetectUUencodingInMime",
                  "HTMLAttachmentsHandling", "HTMLMessageTextHandling", "RemoveBGSOUNDTags",
                  "RemoveBLINKTags", "RemoveEmbedding", "RemoveFrames", "RemoveMETATags",
                  "RemoveNonStandardHTML", "RemoveScripting", "RenameHTMLAttachments"));
  EXPECT_EQ(reg.Get(ProfilePath, "HTMLMessageTextHandling"), Dword(3));
  EXPECT_EQ(reg.Get(ProfilePath, "BlockImagesWithIdentifiersSensitivity"), Dword(2));
  EXPECT_EQ(reg.Get(ProfilePath, "Block1x1Images"), Dword(1));
  EXPECT_EQ(reg.Get(ProfilePath, "BlockMDNReadReceipts"), Dword(0));
  EXPECT_TRUE(reg.KeyExists(TypesPath));
}

TEST_F(TSecurityProfileRegistryTest, SavedProfileLoadsBackAfterARestart) {
  TSecurityProfile saved;
  for (const TPublishedProperty& property : saved.PublishedProperties()) {
    if (property.Stored) {
      property.Set(saved, std::int64_t{1});  // the opposite of nearly every default
    }
  }
  saved.HTMLAttachmentsHandling = TSecurityProfile::HTMLBlock;
  saved.RenameHTMLAttachments = false;  // the text/html row below blocks, which implies no renaming
  saved.AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("text/html", 3, "htm;html"));
  saved.AttachmentFileTypes.AddFileType(
      std::make_unique<TAttachmentFileType>("application/x-a", 2, "a;b\\;c"));
  saved.SaveToRegistry(Registry(), ProfileKey);
  reg.Reopen();

  TSecurityProfile loaded;
  EXPECT_TRUE(loaded.LoadFromRegistry(Registry(), ProfileKey));
  for (const TPublishedProperty& property : saved.PublishedProperties()) {
    SCOPED_TRACE(property.Name);
    EXPECT_EQ(OrdinalOf(loaded, property.Name), OrdinalOf(saved, property.Name));
  }
  EXPECT_THAT(RowsOf(loaded.AttachmentFileTypes),
              ElementsAre("text/html:3:htm;html", "application/x-a:2:a;b\\;c"));
}

TEST_F(TSecurityProfileRegistryTest, LoadFromAMissingKeyFindsNothingButStillGetsAnHTMLType) {
  TSecurityProfile profile;
  EXPECT_FALSE(profile.LoadFromRegistry(Registry(), ProfileKey));
  EXPECT_TRUE(profile.BlockUUencodingInNonMime);
  EXPECT_THAT(RowsOf(profile.AttachmentFileTypes), ElementsAre("text/html:3:htm;html"));
}

// How the values of earlier versions turn into this version's HTML options. Each old value
// counts on its own, so a profile holding both keeps the meaning of each.
struct MigrationCase {
  const char* Name;
  std::optional<int> RemoveAllHTML;
  std::optional<int> FilterHTMLInAttachments;
  std::optional<int> HTMLRowAction;  // nullopt: the profile has no text/html row
  int StoredMessageTextHandling;
  int StoredAttachmentsHandling;
  int StoredRename;
  int ExpectedMessageTextHandling;
  int ExpectedAttachmentsHandling;
  bool ExpectedRename;
};

void PrintTo(const MigrationCase& c, std::ostream* out) {
  *out << c.Name;
}

const MigrationCase MigrationCases[] = {
    // name                                 RAH  FHIA  row  msg att ren -> msg att ren
    {"current profile unchanged", {}, {}, 3, 1, 2, 1, 1, 2, true},
    {"RemoveAllHTML on", 1, {}, 3, 0, 0, 0, 3, 0, false},
    {"RemoveAllHTML off", 0, {}, 3, 3, 0, 0, 0, 0, false},
    {"RemoveAllHTML non-zero", 5, {}, 3, 0, 0, 0, 3, 0, false},
    {"allowed HTML, filtered", 1, 1, 0, 0, 1, 1, 3, 3, false},
    {"allowed HTML, not filtered", 1, 0, 0, 0, 1, 1, 3, 0, false},
    {"allowed HTML, no filter value", 1, {}, 0, 0, 1, 1, 3, 1, false},
    {"renamed HTML, filtered", {}, 1, 1, 1, 0, 0, 1, 1, true},
    {"renamed HTML, filtered, text filtered", 0, 1, 1, 0, 2, 0, 0, 0, true},
    {"renamed HTML, no filter value", {}, {}, 1, 1, 3, 0, 1, 3, true},
    {"blocked HTML", 1, 1, 2, 0, 0, 1, 3, 2, false},
    {"unknown action", {}, 1, 7, 1, 1, 1, 1, 1, true},
    {"no text/html row", 1, 1, {}, 0, 3, 1, 3, 0, false},
};

class TSecurityProfileMigrationTest : public ConfigTest::RegistryTest,
                                      public ::testing::WithParamInterface<MigrationCase> {};

TEST_P(TSecurityProfileMigrationTest, EarlierValuesBecomeTheHTMLOptions) {
  const MigrationCase& c = GetParam();
  reg.Put(ProfilePath, "HTMLMessageTextHandling",
          Dword(static_cast<std::uint32_t>(c.StoredMessageTextHandling)));
  reg.Put(ProfilePath, "HTMLAttachmentsHandling",
          Dword(static_cast<std::uint32_t>(c.StoredAttachmentsHandling)));
  reg.Put(ProfilePath, "RenameHTMLAttachments", Dword(static_cast<std::uint32_t>(c.StoredRename)));
  if (c.RemoveAllHTML) {
    reg.Put(ProfilePath, "RemoveAllHTML", Dword(static_cast<std::uint32_t>(*c.RemoveAllHTML)));
  }
  if (c.FilterHTMLInAttachments) {
    reg.Put(ProfilePath, "FilterHTMLInAttachments",
            Dword(static_cast<std::uint32_t>(*c.FilterHTMLInAttachments)));
  }
  PutFileType(reg, 0, "application/octet-stream", 2, "exe");
  std::vector<std::string> expectedRows = {"application/octet-stream:2:exe"};
  if (c.HTMLRowAction) {
    PutFileType(reg, 1, "Text/HTML", *c.HTMLRowAction, "htm;html;xhtml");
    PutFileType(reg, 2, "text/html", 1, "later");  // only the first text/html row counts
    expectedRows.insert(expectedRows.end(), {"Text/HTML:3:htm;html;xhtml", "text/html:1:later"});
  } else {
    expectedRows.emplace_back("text/html:3:htm;html");
  }

  TSecurityProfile profile;
  EXPECT_TRUE(profile.LoadFromRegistry(Registry(), ProfileKey));

  EXPECT_EQ(profile.HTMLMessageTextHandling, c.ExpectedMessageTextHandling);
  EXPECT_EQ(profile.HTMLAttachmentsHandling, c.ExpectedAttachmentsHandling);
  EXPECT_EQ(profile.RenameHTMLAttachments, c.ExpectedRename);
  EXPECT_EQ(RowsOf(profile.AttachmentFileTypes), expectedRows);
}

INSTANTIATE_TEST_SUITE_P(Cases, TSecurityProfileMigrationTest, ::testing::ValuesIn(MigrationCases),
                         [](const auto& info) {
                           std::string name = info.param.Name;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

TEST_F(TSecurityProfileRegistryTest, EarlierValuesAreGoneAfterTheNextSave) {
  reg.Put(ProfilePath, "RemoveAllHTML", Dword(1));
  reg.Put(ProfilePath, "FilterHTMLInAttachments", Dword(1));
  TSecurityProfile profile;
  ASSERT_TRUE(profile.LoadFromRegistry(Registry(), ProfileKey));
  profile.SaveToRegistry(Registry(), ProfileKey);

  EXPECT_FALSE(reg.Get(ProfilePath, "RemoveAllHTML").has_value());
  EXPECT_FALSE(reg.Get(ProfilePath, "FilterHTMLInAttachments").has_value());
  EXPECT_EQ(reg.Get(ProfilePath, "HTMLMessageTextHandling"), Dword(3));
  EXPECT_THAT(reg.Subkeys(TypesPath), ElementsAre("00000000"));
}

// Loading again (as after a second start) must not apply the old values a second time.
TEST_F(TSecurityProfileRegistryTest, ALaterLoadWithoutEarlierValuesKeepsTheStoredOptions) {
  reg.Put(ProfilePath, "RemoveAllHTML", Dword(1));
  TSecurityProfile profile;
  ASSERT_TRUE(profile.LoadFromRegistry(Registry(), ProfileKey));
  ASSERT_EQ(profile.HTMLMessageTextHandling, 3);
  profile.HTMLMessageTextHandling = TSecurityProfile::HTMLDontFilter;
  profile.SaveToRegistry(Registry(), ProfileKey);

  ASSERT_TRUE(profile.LoadFromRegistry(Registry(), ProfileKey));
  EXPECT_EQ(profile.HTMLMessageTextHandling, TSecurityProfile::HTMLDontFilter);
}

TEST_F(TSecurityProfileRegistryTest, AValueOfTheWrongTypeNamesTheValue) {
  reg.Put(ProfilePath, "HTMLMessageTextHandling", Sz("3"));
  TSecurityProfile profile;
  EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)profile.LoadFromRegistry(Registry(), ProfileKey); }),
            "Invalid data type for 'HTMLMessageTextHandling'");
  EXPECT_FALSE(Registry().HasCurrentKey());
}

TEST_F(TSecurityProfileRegistryTest, ADamagedAttachmentTypeNamesTheValue) {
  PutFileType(reg, 0, "text/html", 3, "htm");
  reg.Put(TypesPath + "\\00000000", "Action", Sz("Block"));
  TSecurityProfile profile;
  EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)profile.LoadFromRegistry(Registry(), ProfileKey); }),
            "Invalid data type for 'Action'");
}

TEST(TSecurityProfileAssignTest, CopiesOptionsAndADeepCopyOfTheAttachmentTypes) {
  TSecurityProfile source;
  source.BlockExternalImages = true;
  source.HTMLAttachmentsHandling = TSecurityProfile::HTMLBlock;
  source.AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("text/html", 3, "htm"));
  TSecurityProfile copy;
  copy.AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("old/row", 0, "x"));

  copy.Assign(source);
  copy.AttachmentFileTypes.AttachmentFileType(0)->SetExtensionsList("changed");

  EXPECT_TRUE(copy.BlockExternalImages);
  EXPECT_EQ(copy.HTMLAttachmentsHandling, TSecurityProfile::HTMLBlock);
  EXPECT_THAT(RowsOf(copy.AttachmentFileTypes), ElementsAre("text/html:3:changed"));
  EXPECT_THAT(RowsOf(source.AttachmentFileTypes), ElementsAre("text/html:3:htm"));
}

TEST(TSecurityProfileAssignTest, RefusesAnotherClass) {
  TSecurityProfile profile;
  const TAttachmentFileType other;
  EXPECT_EQ(ErrorTextOf<EConvertError>([&] { profile.Assign(other); }),
            "Cannot assign a TAttachmentFileType to a TSecurityProfile");
}

TEST(TSecurityProfilesTest, CreateDefaultSecurityProfileAddsACopyOnlyWhenTheNameIsNew) {
  TSecurityProfile templateProfile;
  templateProfile.RemoveScripting = true;
  templateProfile.AttachmentFileTypes.AddFileType(
      std::make_unique<TAttachmentFileType>("text/html", 3, "htm"));

  TSecurityProfiles profiles;
  TSecurityProfile* added = profiles.CreateDefaultSecurityProfile("Custom", templateProfile);
  ASSERT_NE(added, nullptr);
  EXPECT_TRUE(added->RemoveScripting);
  EXPECT_NE(added->AttachmentFileTypes.AttachmentFileType(0),
            templateProfile.AttachmentFileTypes.AttachmentFileType(0));

  added->RemoveScripting = false;
  for (const char* name : {"Custom", "custom", "CUSTOM"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(profiles.CreateDefaultSecurityProfile(name, templateProfile), added);
  }
  EXPECT_EQ(profiles.GetCount(), 1);
  EXPECT_EQ(profiles.GetName(0), "Custom");
  EXPECT_FALSE(added->RemoveScripting);
}

TEST(TSecurityProfileRulesTest, AProfileInUseCannotBeDeletedAndTheReasonNamesTheUser) {
  TAccounts accounts;
  accounts.AddAccount(std::make_unique<TAccount>("pop.example.com", 110, "Medium"));
  accounts.AddAccount(std::make_unique<TAccount>("mail.example.org", 995, "Strict"));
  TAddressOverrides overrides;
  overrides.AddOverride(std::make_unique<TAddressOverride>("boss@example.com", "Strict"));
  overrides.AddOverride(std::make_unique<TAddressOverride>("example.net", "Open"));

  struct Case {
    const char* Profile;
    std::optional<std::string> Refusal;
  };
  const Case cases[] = {
      {"Strict",
       "The 'Strict' profile is currently selected as the default for the 'mail.example.org' account.  You "
       "must "
       "change this account before you can delete the profile."},
      {"Open",
       "The 'Open' profile is currently selected for the 'example.net' address override.  You must change "
       "this "
       "account before you can delete the profile."},
      {"open", std::nullopt},  // names compare exactly here
      {"Unused", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Profile);
    EXPECT_EQ(SecurityProfileDeletionRefusal(c.Profile, accounts, overrides), c.Refusal);
  }
}

}  // namespace
