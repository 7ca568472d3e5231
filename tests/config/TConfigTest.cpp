#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "config/AppDataDirectory.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/ConfigTestSupport.h"
#include "config/EConvertError.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "platform/Autostart.h"
#include "platform/ERegistryException.h"
#include "platform/Paths.h"
#include "platform/THKey.h"

namespace {

using ConfigTest::Dword;
using ConfigTest::ErrorTextOf;
using ConfigTest::Sz;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* ConfigPath = "Software\\Vantorell\\Quorix\\Config";
// Never created: only LogPath's default text is built from it.
constexpr const char* FixedDataHome = "/quorix-test-data-home";

// Every test gets its own autostart folder and a fixed data folder, so neither the user's
// session nor the temporary folder's name leaks into what is compared.
class TConfigTest : public ConfigTest::RegistryTest {
 protected:
  ScratchFolder home;
  ScopedEnvironment configHome{"XDG_CONFIG_HOME", (home / "config").string()};
  ScopedEnvironment dataHome{"XDG_DATA_HOME", std::string(FixedDataHome)};
};

TEST_F(TConfigTest, AFirstStartHasTheDefaultsAndTheBuiltInProfiles) {
  TConfig config;
  EXPECT_FALSE(config.LoadConfigFromRegistry(Store()));
  CreateDefaultSecurityProfiles(config.SecurityProfiles);

  EXPECT_EQ(config.ConfigVersion, 1);
  EXPECT_FALSE(config.LogsNeedSplitting());
  EXPECT_TRUE(config.MinimizeToTray);
  EXPECT_TRUE(config.LaunchOnStartup);
  EXPECT_EQ(config.PopupSummaryFrequency, 3);
  EXPECT_EQ(config.EmailSummaryFrequency, 0);
  EXPECT_EQ(config.EmailSummaryAddress, "");
  EXPECT_EQ(config.EmailSummarySMTPServer, "");
  EXPECT_TRUE(config.AddEmailFooter);
  EXPECT_FALSE(config.UpdateReceivedDate);
  EXPECT_FALSE(config.UseSenderAddress);
  EXPECT_EQ(config.ListenPort, 110);
  EXPECT_EQ(config.LogPath, "/quorix-test-data-home/Vantorell/Quorix/logs/");
  EXPECT_EQ(config.KeepLogsForDays(), 28);
  EXPECT_EQ(config.Accounts.GetCount(), 0);
  EXPECT_EQ(config.AddressOverrides.GetCount(), 0);
  EXPECT_THAT(config.GetAllowedWebBugProviders(), IsEmpty());
  ASSERT_EQ(config.SecurityProfiles.GetCount(), 3);
  EXPECT_EQ(config.SecurityProfiles.GetName(0), "Low");
  EXPECT_EQ(config.SecurityProfiles.GetName(1), "Medium");
  EXPECT_EQ(config.SecurityProfiles.GetName(2), "High");
}

TEST(TConfigLogPathTest, LogPathDefaultsBelowTheUsersDataFolder) {
  struct Case {
    std::optional<std::string> DataHome;
    std::string LogPath;
  };
  const Case cases[] = {
      {"/srv/data", "/srv/data/Vantorell/Quorix/logs/"},
      {"/srv/data/", "/srv/data/Vantorell/Quorix/logs/"},
      {std::nullopt, "/home/tester/.local/share/Vantorell/Quorix/logs/"},
      {"relative/data", "/home/tester/.local/share/Vantorell/Quorix/logs/"},
  };
  const ScopedEnvironment home("HOME", std::string("/home/tester"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.DataHome.value_or("(unset)"));
    const ScopedEnvironment dataHome("XDG_DATA_HOME", c.DataHome);
    EXPECT_EQ(TConfig().LogPath, c.LogPath);
    EXPECT_EQ(getApplicationAppDataDirectory() + "/logs/", c.LogPath);
  }
}

// Logs were split into day files when retention became a setting: a configuration stored
// before that has values but no KeepLogsForDays.
TEST_F(TConfigTest, LogsNeedSplittingOnlyForValuesWithoutARetentionSetting) {
  struct Case {
    const char* Name;
    bool ListenPort;
    bool KeepLogsForDays;
    bool Accounts;
    bool NeedsSplitting;
  };
  const Case cases[] = {
      {"nothing stored", false, false, false, false},
      {"only accounts stored", false, false, true, false},
      {"values without retention", true, false, false, true},
      {"values with retention", true, true, false, false},
      {"only retention", false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    reg.ReplaceFile("Windows Registry Editor Version 5.00\n\n");
    if (c.ListenPort) {
      reg.Put(ConfigPath, "ListenPort", Dword(1110));
    }
    if (c.KeepLogsForDays) {
      reg.Put(ConfigPath, "KeepLogsForDays", Dword(7));
    }
    if (c.Accounts) {
      reg.Put(std::string(ConfigPath) + "\\Accounts\\pop.example.com.qx", "RemoteHostname",
              Sz("pop.example.com"));
    }
    TConfig config;
    (void)config.LoadConfigFromRegistry(Store());
    EXPECT_EQ(config.LogsNeedSplitting(), c.NeedsSplitting);

    // The start-up save after splitting stores the retention, so it happens once.
    config.SaveConfigToRegistry(Store());
    TConfig reloaded;
    (void)reloaded.LoadConfigFromRegistry(Store());
    EXPECT_FALSE(reloaded.LogsNeedSplitting());
    EXPECT_EQ(reloaded.KeepLogsForDays(), c.KeepLogsForDays ? 7 : 28);
  }
}

TEST(TConfigKeepLogsTest, SettingTheRetentionClearsLogsNeedSplitting) {
  TConfig config;
  config.SetKeepLogsForDays(-1);
  EXPECT_EQ(config.KeepLogsForDays(), -1);
  EXPECT_FALSE(config.LogsNeedSplitting());
}

// Only the exact list "xnk" of message/external-body in a configuration without a
// ConfigVersion is an earlier version's mistake; anything else is the user's choice.
TEST_F(TConfigTest, TheEarlierXnkExtensionOfExternalBodyIsRemovedOnce) {
  struct Case {
    const char* Name;
    bool ConfigVersionStored;
    const char* MIMEType;
    const char* Extensions;
    const char* ExpectedExtensions;
  };
  const Case cases[] = {
      {"earlier version", false, "message/external-body", "xnk", ""},
      {"earlier version, type in other case", false, "Message/External-Body", "xnk", ""},
      {"earlier version, longer list", false, "message/external-body", "xnk;xnl", "xnk;xnl"},
      {"earlier version, other letter case", false, "message/external-body", "XNK", "XNK"},
      {"earlier version, other type", false, "application/octet-stream", "xnk", "xnk"},
      {"current version", true, "message/external-body", "xnk", "xnk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    reg.ReplaceFile("Windows Registry Editor Version 5.00\n\n");
    reg.Put(ConfigPath, "ListenPort", Dword(110));
    if (c.ConfigVersionStored) {
      reg.Put(ConfigPath, "ConfigVersion", Dword(1));
    }
    for (const char* profile : {"Medium", "Mine"}) {
      const std::string types =
          std::string(ConfigPath) + "\\SecurityProfiles\\" + profile + "\\AttachmentFileTypes";
      reg.Put(types + "\\00000000", "MIMEType", Sz("text/html"));
      reg.Put(types + "\\00000000", "Action", Dword(3));
      reg.Put(types + "\\00000001", "MIMEType", Sz(c.MIMEType));
      reg.Put(types + "\\00000001", "ExtensionsList", Sz(c.Extensions));
    }

    TConfig config;
    ASSERT_TRUE(config.LoadConfigFromRegistry(Store()));
    for (int i = 0; i < config.SecurityProfiles.GetCount(); ++i) {
      SCOPED_TRACE(config.SecurityProfiles.GetName(i));
      EXPECT_EQ(config.SecurityProfiles.GetSecurityProfile(i)
                    ->AttachmentFileTypes.AttachmentFileType(1)
                    ->GetExtensionsList(),
                c.ExpectedExtensions);
    }
    EXPECT_EQ(config.SecurityProfiles.GetCount(), 2);
    EXPECT_EQ(config.ConfigVersion, c.ConfigVersionStored ? 1 : 0);
  }
}

TEST_F(TConfigTest, LaunchOnStartupWritesAndRemovesTheAutostartEntry) {
  const std::string expectedExec = "\"" + Platform::ExecutablePath().string() + "\" /minimize";
  TConfig config;

  config.LaunchOnStartup = true;
  config.SaveConfigToRegistry(Store());
  EXPECT_EQ(Platform::ReadAutostartExec(), expectedExec);
  EXPECT_EQ(Platform::AutostartEntryPath(), home / "config" / "autostart" / "quorix.desktop");

  config.LaunchOnStartup = false;
  config.SaveConfigToRegistry(Store());
  EXPECT_FALSE(std::filesystem::exists(Platform::AutostartEntryPath()));
  config.SaveConfigToRegistry(Store());  // nothing to remove: no error
  EXPECT_FALSE(std::filesystem::exists(Platform::AutostartEntryPath()));
  EXPECT_EQ(reg.Get(ConfigPath, "LaunchOnStartup"), Dword(0));
}

TEST_F(TConfigTest, SaveLaunchOnStartupLeavesTheRegistryObjectWhereItWas) {
  TConfig config;
  Registry().SetRootKey(THKey::HKEY_CURRENT_USER);
  ASSERT_TRUE(Registry().OpenKey("\\Software\\Elsewhere", true));
  config.SaveLaunchOnStartup(Registry());
  EXPECT_EQ(Registry().RootKey(), THKey::HKEY_CURRENT_USER);
  EXPECT_EQ(Registry().CurrentPath(), "Software\\Elsewhere");
  EXPECT_TRUE(Platform::ReadAutostartExec().has_value());
}

TEST(TConfigFrequencyTest, FrequenciesGiveTheirPeriodInDaysAndAnyOtherValueMeansNever) {
  struct Case {
    int Frequency;
    int Days;
  };
  const Case cases[] = {{0, 0}, {1, 1},  {2, 7},       {3, 14},     {4, 28},
                        {5, 0}, {-1, 0}, {INT_MAX, 0}, {INT_MIN, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Frequency);
    TConfig config;
    config.PopupSummaryFrequency = c.Frequency;
    config.EmailSummaryFrequency = c.Frequency;
    EXPECT_EQ(config.PopupSummaryFrequencyDays(), c.Days);
    EXPECT_EQ(config.EmailSummaryFrequencyDays(), c.Days);
  }
}

// A hand-edited or damaged value is not corrected behind the user's back: it means "never"
// and is stored again as it was.
TEST_F(TConfigTest, AnOutOfRangeStoredFrequencyMeansNeverAndIsKept) {
  reg.Put(ConfigPath, "PopupSummaryFrequency", Dword(9));
  reg.Put(ConfigPath, "EmailSummaryFrequency", Dword(0xFFFFFFFF));
  TConfig config;
  ASSERT_TRUE(config.LoadConfigFromRegistry(Store()));
  EXPECT_EQ(config.PopupSummaryFrequencyDays(), 0);
  EXPECT_EQ(config.EmailSummaryFrequency, -1);
  EXPECT_EQ(config.EmailSummaryFrequencyDays(), 0);

  config.SaveConfigToRegistry(Store());
  EXPECT_EQ(reg.Get(ConfigPath, "PopupSummaryFrequency"), Dword(9));
  EXPECT_EQ(reg.Get(ConfigPath, "EmailSummaryFrequency"), Dword(0xFFFFFFFF));
}

// The rows of the comma-text form itself are in CommaTextTest.
TEST(TConfigProvidersTest, TheAllowedProvidersListIsCommaText) {
  TConfig config;
  config.SetAllowedWebBugProviders({"with blank", "plain", ""});
  EXPECT_EQ(config.GetAllowedWebBugProvidersList(), "\"with blank\",plain,");
  TConfig parsed;
  parsed.SetAllowedWebBugProvidersList("  one two,\"say \"\"hi\"\"\"");
  EXPECT_THAT(parsed.GetAllowedWebBugProviders(), ElementsAre("one", "two", "say \"hi\""));
}

// A NUL in the stored list (NUL units of a hex(1) value, a raw NUL inside the quotes of a
// string) once stopped the comma-text reader in its tracks and hung the start-up.
TEST_F(TConfigTest, ANulInTheStoredProvidersListSeparatesItems) {
  struct Case {
    const char* What;
    std::string ValueLine;
  };
  const Case cases[] = {
      {"hex(1) with NUL units", "\"AllowedWebBugProvidersList\"=hex(1):61,00,00,00,62,00,00,00"},
      {"raw NUL inside quotes", std::string("\"AllowedWebBugProvidersList\"=\"a\0b\"", 34)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    reg.ReplaceFile("Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config]\n" +
                    c.ValueLine + "\n");
    TConfig config;
    ASSERT_TRUE(config.LoadConfigFromRegistry(Store()));
    EXPECT_THAT(config.GetAllowedWebBugProviders(), ElementsAre("a", "b"));
  }
}

// The list lives in memory only: an old stored value is read, and dropped on the next save.
TEST_F(TConfigTest, TheAllowedProvidersAreNeverStored) {
  reg.Put(ConfigPath, "AllowedWebBugProvidersList", Sz("disabled,other"));
  TConfig config;
  ASSERT_TRUE(config.LoadConfigFromRegistry(Store()));
  EXPECT_THAT(config.GetAllowedWebBugProviders(), ElementsAre("disabled", "other"));

  config.SaveConfigToRegistry(Store());
  EXPECT_FALSE(reg.Get(ConfigPath, "AllowedWebBugProvidersList").has_value());
}

TEST_F(TConfigTest, AssignCopiesOptionsAndDeepCopiesOfEveryList) {
  TConfig source;
  source.ListenPort = 1110;
  source.SetKeepLogsForDays(3);
  source.Accounts.AddAccount(std::make_unique<TAccount>("pop.example.com", 110, "Medium"));
  source.AddressOverrides.AddOverride(std::make_unique<TAddressOverride>("example.org", "High"));
  CreateDefaultSecurityProfiles(source.SecurityProfiles);
  source.SetAllowedWebBugProviders({"disabled"});

  TConfig copy;
  copy.Accounts.AddAccount(std::make_unique<TAccount>("old.example.com", 110, "Low"));
  copy.Assign(source);
  copy.Accounts.GetAccount(0)->RemotePort = 995;
  copy.SecurityProfiles.GetSecurityProfile(0)->RemoveScripting = false;

  EXPECT_EQ(copy.ListenPort, 1110);
  EXPECT_EQ(copy.KeepLogsForDays(), 3);
  ASSERT_EQ(copy.Accounts.GetCount(), 1);
  EXPECT_EQ(copy.Accounts.GetAccountLocalHostname(0), "pop.example.com.qx");
  EXPECT_EQ(copy.AddressOverrides.GetAddressOverrides(0)->SecurityProfile, "High");
  EXPECT_EQ(copy.SecurityProfiles.GetCount(), 3);
  EXPECT_EQ(copy.SecurityProfiles.GetSecurityProfile(1)->AttachmentFileTypes.GetCount(), 36);
  EXPECT_THAT(copy.GetAllowedWebBugProviders(), ElementsAre("disabled"));
  EXPECT_EQ(source.Accounts.GetAccount(0)->RemotePort, 110);
  EXPECT_TRUE(source.SecurityProfiles.GetSecurityProfile(0)->RemoveScripting);

  const TAccount account;
  EXPECT_EQ(ErrorTextOf<EConvertError>([&] { copy.Assign(account); }),
            "Cannot assign a TAccount to a TConfig");
}

TEST_F(TConfigTest, ASavedConfigurationComesBackAfterARestart) {
  TConfig saved;
  saved.MinimizeToTray = false;
  saved.EmailSummaryAddress = "me@example.com";
  saved.EmailSummarySMTPServer = "smtp.example.com";
  saved.UseSenderAddress = true;
  saved.LogPath = "/var/tmp/quorix logs/";
  saved.SetKeepLogsForDays(-1);
  saved.Accounts.AddAccount(std::make_unique<TAccount>("pop.example.com", 995, "Mine"));
  saved.AddressOverrides.AddOverride(std::make_unique<TAddressOverride>("boss@example.com", "High"));
  saved.SecurityProfiles.CreateDefaultSecurityProfile("Mine", HighSecurityProfile());
  saved.SaveConfigToRegistry(Store());
  reg.Reopen();

  TConfig loaded;
  ASSERT_TRUE(loaded.LoadConfigFromRegistry(Store()));
  EXPECT_FALSE(loaded.MinimizeToTray);
  EXPECT_EQ(loaded.EmailSummaryAddress, "me@example.com");
  EXPECT_EQ(loaded.EmailSummarySMTPServer, "smtp.example.com");
  EXPECT_TRUE(loaded.UseSenderAddress);
  EXPECT_EQ(loaded.LogPath, "/var/tmp/quorix logs/");
  EXPECT_EQ(loaded.KeepLogsForDays(), -1);
  EXPECT_EQ(loaded.ConfigVersion, 1);
  EXPECT_FALSE(loaded.LogsNeedSplitting());
  ASSERT_NE(loaded.Accounts.FindAccountWithLocalHostname("POP.example.com.qx"), nullptr);
  EXPECT_EQ(loaded.Accounts.FindAccountWithLocalHostname("pop.example.com.qx")->RemotePort, 995);
  EXPECT_EQ(loaded.AddressOverrides.FindSecurityProfile("Boss@Example.com"), "High");
  ASSERT_NE(loaded.SecurityProfiles.FindSecurityProfile("Mine"), nullptr);
  EXPECT_EQ(loaded.SecurityProfiles.FindSecurityProfile("Mine")->AttachmentFileTypes.GetCount(), 36);
  EXPECT_TRUE(loaded.SecurityProfiles.FindSecurityProfile("Mine")->BlockExternalImages);
}

// Bad input: each failure is an error that names the value or the file, and nothing that
// was on disk is lost.

// A profile "Home\Work" was saved into a nested key and came back as "Home" with defaults;
// the next save deleted it. A name that cannot be one key name is refused before anything
// is written, in memory or on disk.
TEST_F(TConfigTest, AnItemNameTheStoreCannotHoldIsRefusedAndNothingIsWritten) {
  struct Case {
    std::vector<std::string> Names;
    std::string Refused;  // the name the error must name
  };
  const Case cases[] = {
      {{"Home\\Work"}, "Home\\Work"},
      {{""}, ""},
      {{"Two\nLines"}, "Two\nLines"},
      {{"Home", "HOME"}, "HOME"},  // names ignore letter case: both would be one key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Refused);
    TConfig config;
    CreateDefaultSecurityProfiles(config.SecurityProfiles);
    config.LaunchOnStartup = false;
    config.SaveConfigToRegistry(Store());
    const std::string before = reg.FlushedFileText();

    config.ListenPort = 1110;  // would show in the file if the options had been written
    for (const std::string& name : c.Names) {
      config.SecurityProfiles.Add(name, std::make_unique<TSecurityProfile>());
    }
    const std::string error = ErrorTextOf<ERegistryException>([&] { config.SaveConfigToRegistry(Store()); });
    EXPECT_THAT(error, HasSubstr("'" + c.Refused + "'"));
    EXPECT_TRUE(ReadWholeFile(reg.FilePath()) == before) << "the file changed";
    EXPECT_TRUE(reg.FlushedFileText() == before) << "the store in memory changed";
  }
}

TEST_F(TConfigTest, AValueOfTheWrongTypeNamesTheValue) {
  struct Case {
    std::string Path;
    std::string Name;
    TRegValue Value;
  };
  const std::string account = std::string(ConfigPath) + "\\Accounts\\pop.example.com.qx";
  const std::string profile = std::string(ConfigPath) + "\\SecurityProfiles\\Mine";
  const std::vector<Case> cases = {
      {ConfigPath, "ListenPort", Sz("110")},
      {ConfigPath, "LogPath", Dword(1)},
      {ConfigPath, "KeepLogsForDays", ConfigTest::Binary({28, 0, 0, 0})},
      {account, "RemotePort", Sz("110")},
      {profile, "RemoveScripting", Sz("yes")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    reg.ReplaceFile("Windows Registry Editor Version 5.00\n\n");
    reg.Put(c.Path, c.Name, c.Value);
    TConfig config;
    EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)config.LoadConfigFromRegistry(Store()); }),
              "Invalid data type for '" + c.Name + "'");
  }
}

TEST_F(TConfigTest, ADamagedSettingsFileNamesTheFileAndIsNeverOverwritten) {
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config]\n"
      "\"ListenPort\"=dword:zzzz\n";
  reg.ReplaceFile(damaged);

  TConfig config;
  const std::string loadError =
      ErrorTextOf<ERegistryException>([&] { (void)config.LoadConfigFromRegistry(Store()); });
  EXPECT_THAT(loadError, HasSubstr(reg.FilePath().string()));
  EXPECT_THAT(loadError, HasSubstr("line 4"));

  const std::string saveError =
      ErrorTextOf<ERegistryException>([&] { config.SaveConfigToRegistry(Store()); });
  EXPECT_THAT(saveError, HasSubstr(reg.FilePath().string()));
  EXPECT_EQ(ReadWholeFile(reg.FilePath()), damaged);
  EXPECT_FALSE(Platform::ReadAutostartExec().has_value());
}

TEST_F(TConfigTest, AnUnwritableFolderNamesTheFile) {
  // A regular file where the folder should be: no permission bits involved, so this fails
  // for root as well.
  WriteWholeFile(home / "blocker", "not a folder");
  const std::filesystem::path file = home / "blocker" / "quorix" / "registry.reg";
  TRegistryStore store(file, {reg.MimeTypesFile()});

  TConfig config;
  EXPECT_FALSE(config.LoadConfigFromRegistry(store));
  EXPECT_THAT(ErrorTextOf<ERegistryException>([&] { config.SaveConfigToRegistry(store); }),
              HasSubstr(file.string()));
  EXPECT_FALSE(Platform::ReadAutostartExec().has_value());
}

// Counts deletions and remembers the thread that deleted.
class TTrackedConfig : public TConfig {
 public:
  struct Record {
    std::mutex Lock;
    int Deletions = 0;
    std::thread::id Deleter;
  };
  explicit TTrackedConfig(Record& record) : record_(record) {}
  ~TTrackedConfig() override {
    const std::lock_guard lock(record_.Lock);
    ++record_.Deletions;
    record_.Deleter = std::this_thread::get_id();
  }

 private:
  Record& record_;
};

TEST(TConfigRefCountTest, TheLastReleaseOnAWorkerThreadDeletesOnce) {
  constexpr int Workers = 16;
  constexpr int Rounds = 2000;
  TTrackedConfig::Record oldRecord;
  TTrackedConfig::Record newRecord;

  auto* old = new TTrackedConfig(oldRecord);
  old->AddRef();  // the main window's reference
  std::atomic<bool> swapped{false};
  std::vector<std::thread> sessions;
  for (int i = 0; i < Workers; ++i) {
    old->AddRef();  // taken for the session when its client connects
    sessions.emplace_back([old, &swapped] {
      for (int round = 0; round < Rounds; ++round) {
        const TConfigRef extra(old);
        EXPECT_GE(extra->RefCount(), 2);
      }
      swapped.wait(false);
      old->Release();  // the session ends
    });
  }

  // The main window moves to a newer configuration while the sessions still run.
  TConfigRef current(new TTrackedConfig(newRecord));
  old->Release();
  swapped = true;
  swapped.notify_all();
  for (std::thread& session : sessions) {
    session.join();
  }

  EXPECT_EQ(oldRecord.Deletions, 1);
  EXPECT_NE(oldRecord.Deleter, std::this_thread::get_id());
  EXPECT_EQ(newRecord.Deletions, 0);
  EXPECT_EQ(current->RefCount(), 1);
  current.reset();
  EXPECT_EQ(newRecord.Deletions, 1);
}

TEST(TConfigRefCountTest, HoldersTakeAndDropOneReferenceEach) {
  TTrackedConfig::Record record;
  auto* config = new TTrackedConfig(record);
  EXPECT_EQ(config->RefCount(), 0);
  {
    TConfigRef first(config);
    EXPECT_EQ(config->RefCount(), 1);
    TConfigRef copy = first;
    EXPECT_EQ(config->RefCount(), 2);
    TConfigRef moved = std::move(copy);
    EXPECT_FALSE(copy);  // NOLINT(bugprone-use-after-move): a moved-from holder is empty
    EXPECT_EQ(config->RefCount(), 2);
    moved = TConfigRef();
    EXPECT_EQ(config->RefCount(), 1);
    EXPECT_EQ(record.Deletions, 0);
  }
  EXPECT_EQ(record.Deletions, 1);
}

}  // namespace

namespace {

// Settings files of earlier versions (and of a first start), loaded as the program starts
// and saved again; the saved file must equal name.expected.reg beside name.reg.
struct FixtureCase {
  const char* Name;
  bool AddBuiltInProfiles;  // as the main window does after loading
  bool LogsNeedSplitting;
};

void PrintTo(const FixtureCase& c, std::ostream* out) {
  *out << c.Name;
}

const FixtureCase FixtureCases[] = {
    {"first-start", true, false},
    {"earlier-html-options", false, false},
    {"earlier-xnk", false, false},
    {"earlier-logs-need-splitting", false, true},
};

class TConfigFixtureTest : public TConfigTest, public ::testing::WithParamInterface<FixtureCase> {};

TEST_P(TConfigFixtureTest, LoadedAndSavedAgainGivesTheExpectedFile) {
  const FixtureCase& c = GetParam();
  const std::filesystem::path data = std::filesystem::path(QUORIX_TEST_DATA_DIR) / "config";
  reg.ReplaceFileFrom(data / (std::string(c.Name) + ".reg"));

  TConfig config;
  (void)config.LoadConfigFromRegistry(Store());
  EXPECT_EQ(config.LogsNeedSplitting(), c.LogsNeedSplitting);
  if (c.AddBuiltInProfiles) {
    CreateDefaultSecurityProfiles(config.SecurityProfiles);
  }
  config.SaveConfigToRegistry(Store());

  const std::string actual = reg.FlushedFileText();
  const std::string expected = ReadWholeFile(data / (std::string(c.Name) + ".expected.reg"));
  EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TConfigFixtureTest, ::testing::ValuesIn(FixtureCases),
                         [](const auto& info) {
                           std::string name = info.param.Name;
                           for (char& ch : name) {
                             ch = ch == '-' ? '_' : ch;
                           }
                           return name;
                         });

}  // namespace
