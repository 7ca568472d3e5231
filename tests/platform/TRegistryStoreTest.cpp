#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "RegTestValues.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"
#include "platform/ERegistryException.h"
#include "platform/ERegistryFileDamaged.h"
#include "platform/ERegistryFileUnreadable.h"
#include "platform/RegFileFormat.h"
#include "platform/TRegistry.h"
#include "platform/TRegistryStore.h"

namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr THKey HKCU = THKey::HKEY_CURRENT_USER;
constexpr THKey HKCR = THKey::HKEY_CLASSES_ROOT;
constexpr THKey HKLM = THKey::HKEY_LOCAL_MACHINE;
const std::string kContentTypes = "MIME\\Database\\Content Type";

std::vector<std::filesystem::path> FixtureMimeFiles() {
  const std::string data = std::string(QUORIX_TEST_DATA_DIR) + "/platform/";
  return {data + "mime.types.system", data + "mime.types.user"};
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
  std::filesystem::path file_ = scratch_ / "config/quorix/registry.reg";
};

TEST_F(RegistryStoreTest, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
  TRegistryStore store(file_, {});
  ASSERT_TRUE(store.CreateKey(HKCU, "Software\\Vantorell"));
  EXPECT_TRUE(store.KeyExists(HKCU, "SOFTWARE\\vantorell"));
  ASSERT_TRUE(store.WriteValue(HKCU, "software\\VANTORELL", "ListenPort", DwordValue(110)));
  ASSERT_TRUE(store.WriteValue(HKCU, "Software\\Vantorell", "LISTENPORT", DwordValue(995)));
  EXPECT_EQ(store.ReadValue(HKCU, "Software\\Vantorell", "listenport"), DwordValue(995));
  EXPECT_THAT(store.ValueNames(HKCU, "Software\\Vantorell"), ElementsAre("ListenPort"));
  EXPECT_THAT(store.SubkeyNames(HKCU, "software"), ElementsAre("Vantorell"));

  EXPECT_TRUE(store.DeleteValue(HKCU, "Software\\Vantorell", "listenPORT"));
  EXPECT_FALSE(store.DeleteValue(HKCU, "Software\\Vantorell", "ListenPort"));
  EXPECT_EQ(store.ReadValue(HKCU, "Software\\Vantorell", "ListenPort"), std::nullopt);
}

TEST_F(RegistryStoreTest, SubkeysAndValuesEnumerateSortedAsWindowsSortsThem) {
  TRegistryStore store(file_, {});
  for (const char* name : {"b", "_c", "A", "C", "a1", "0"}) {
    ASSERT_TRUE(store.CreateKey(HKCU, std::string("K\\") + name));
    ASSERT_TRUE(store.WriteValue(HKCU, "K", name, DwordValue(1)));
  }
  ASSERT_TRUE(store.WriteValue(HKCU, "K", "", SzValue("default")));
  // Upper-case folding puts '_' after the letters.
  EXPECT_THAT(store.SubkeyNames(HKCU, "K"), ElementsAre("0", "A", "a1", "b", "C", "_c"));
  EXPECT_THAT(store.ValueNames(HKCU, "K"), ElementsAre("", "0", "A", "a1", "b", "C", "_c"));
}

TEST_F(RegistryStoreTest, DeletingAKeyTakesItsSubkeysAndValues) {
  TRegistryStore store(file_, {});
  ASSERT_TRUE(store.CreateKey(HKCU, "P\\List\\00000000\\Deep"));
  ASSERT_TRUE(store.WriteValue(HKCU, "P\\List\\00000000", "v", DwordValue(1)));
  EXPECT_TRUE(store.DeleteKey(HKCU, "p\\list"));
  EXPECT_FALSE(store.KeyExists(HKCU, "P\\List"));
  EXPECT_FALSE(store.KeyExists(HKCU, "P\\List\\00000000\\Deep"));
  EXPECT_TRUE(store.KeyExists(HKCU, "P"));
  EXPECT_FALSE(store.DeleteKey(HKCU, "P\\List"));
  EXPECT_FALSE(store.DeleteKey(HKCU, ""));  // the root stays
  EXPECT_TRUE(store.KeyExists(HKCU, ""));
}

TEST_F(RegistryStoreTest, RefusesWhatCannotBeStored) {
  TRegistryStore store(file_, {});
  ASSERT_TRUE(store.CreateKey(HKCU, "K"));
  EXPECT_FALSE(store.WriteValue(HKCU, "Missing", "v", DwordValue(1)));
  EXPECT_FALSE(store.WriteValue(HKCU, "K", "line\nfeed", DwordValue(1)));
  EXPECT_FALSE(store.WriteValue(HKCU, "K", "v", TRegValue{}));
  EXPECT_FALSE(store.CreateKey(HKCU, "K\\\\empty part"));
  EXPECT_FALSE(store.CreateKey(HKCU, "K\\line\nfeed"));
  EXPECT_FALSE(store.KeyExists(HKCU, "K\\"));
  std::string deep = "K";
  for (std::size_t i = 0; i < RegFileFormat::kMaxKeyDepth; ++i) {
    deep += "\\d";
  }
  EXPECT_FALSE(store.CreateKey(HKCU, deep));
  EXPECT_TRUE(store.CreateKey(HKCU, deep.substr(2)));
}

TEST_F(RegistryStoreTest, FlushCreatesTheFolderAndWritesOnlyWhenSomethingChanged) {
  {
    TRegistryStore store(file_, {});
    ASSERT_TRUE(store.CreateKey(HKCU, "Software\\Vantorell\\Quorix\\State"));
    store.Flush();  // only a key was added, but that is a change too
    ASSERT_TRUE(std::filesystem::exists(file_));
    EXPECT_EQ(std::filesystem::status(file_).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_TRUE(
        store.WriteValue(HKCU, "Software\\Vantorell\\Quorix\\State", "Text", SzValue("line 1\r\nline 2")));
    ASSERT_TRUE(
        store.WriteValue(HKCU, "Software\\Vantorell\\Quorix\\State", "Stamp", BinaryValue({1, 2, 3})));
    store.Flush();
  }
  const std::string saved = ReadWholeFile(file_);
  EXPECT_THAT(saved, StartsWith("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n"));
  {
    TRegistryStore reread(file_, {});
    EXPECT_EQ(reread.ReadValue(HKCU, "software\\vantorell\\quorix\\state", "text"),
              SzValue("line 1\r\nline 2"));
    EXPECT_EQ(reread.ReadValue(HKCU, "Software\\Vantorell\\Quorix\\State", "Stamp"), BinaryValue({1, 2, 3}));
    // Reading, and writing what is already there, leave the file alone.
    ASSERT_TRUE(
        reread.WriteValue(HKCU, "Software\\Vantorell\\Quorix\\State", "Stamp", BinaryValue({1, 2, 3})));
    std::filesystem::remove(file_);
    reread.Flush();
    EXPECT_FALSE(std::filesystem::exists(file_));
  }
  TRegistryStore untouched(scratch_ / "never/registry.reg", {});
  untouched.Flush();
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "never"));
}

TEST_F(RegistryStoreTest, AnUnwritableFolderGivesAnErrorNamingTheFile) {
  // A path below a regular file cannot be created, not even by root.
  WriteWholeFile(scratch_ / "blocker", "a file, not a folder");
  const std::filesystem::path file = scratch_ / "blocker/quorix/registry.reg";
  TRegistryStore store(file, {});
  ASSERT_TRUE(store.CreateKey(HKCU, "Software"));  // the missing file is an empty store
  try {
    store.Flush();
    FAIL() << "Flush succeeded";
  } catch (const ERegistryException& error) {
    EXPECT_THAT(error.what(), StartsWith("Cannot write the settings file '" + file.string() +
                                         "': cannot create the folder"));
  }
  // Nothing is lost: the change is still there and a later Flush may succeed.
  EXPECT_TRUE(store.KeyExists(HKCU, "Software"));
}

// As the unprivileged user, so that root (which CI runs as) checks the permission too.
TEST_F(RegistryStoreTest, AReadOnlyFolderGivesAnErrorNamingTheFile) {
  std::filesystem::create_directories(file_.parent_path());
  HandToUnprivilegedUser(scratch_.Path());
  ::chmod(file_.parent_path().c_str(), 0500);
  const std::string error = RunInChild(
      [&] {
        TRegistryStore store(file_, {});
        store.CreateKey(HKCU, "Software");
        try {
          store.Flush();
        } catch (const ERegistryException& e) {
          return std::string(e.what()) + (store.KeyExists(HKCU, "Software") ? "" : " (change lost)");
        }
        return std::string("no error");
      },
      true);
  ::chmod(file_.parent_path().c_str(), 0700);
  EXPECT_THAT(error, StartsWith("Cannot write the settings file '" + file_.string() + "': "));
  EXPECT_THAT(error, EndsWith("Permission denied"));
  EXPECT_FALSE(std::filesystem::exists(file_));
}

// Only a file that was read and found damaged may be moved aside; one that could not be read
// may be a good file, and moving it would start the user over with default settings.
TEST_F(RegistryStoreTest, AFileThatCannotBeReadIsNeverSetAside) {
  const std::string good = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n";
  // Load and SetAsideDamagedFile in a fresh store; the kinds of their errors, then the text.
  const auto tryBoth = [&] {
    TRegistryStore store(file_, {});
    std::string kinds;
    std::string text;
    for (const auto& use : {std::function<void()>([&] { store.Load(); }),
                            std::function<void()>([&] { (void)store.SetAsideDamagedFile(); })}) {
      try {
        use();
        kinds += "none ";
      } catch (const ERegistryFileUnreadable& e) {
        kinds += "unreadable ";
        text = e.what();
      } catch (const ERegistryFileDamaged& e) {
        kinds += "damaged ";
        text = e.what();
      } catch (const ERegistryException& e) {
        kinds += "other ";
        text = e.what();
      }
    }
    return kinds + "| " + text;
  };
  struct Case {
    const char* What;
    std::function<std::string()> Run;
    std::string Cause;
  };
  const Case cases[] = {
      {"a folder in its place",
       [&] {
         std::filesystem::remove(file_);
         std::filesystem::create_directories(file_ / "inside");
         return tryBoth();
       },
       "cannot read it: Is a directory"},
      {"permission denied",
       [&] {
         ::chmod(file_.c_str(), 0000);
         HandToUnprivilegedUser(scratch_.Path());
         return RunInChild(tryBoth, true);
       },
       "cannot open it: Permission denied"},
      {"too many open files",
       [&] {
         return RunInChild([&] {
           const rlimit few{16, 16};
           if (::setrlimit(RLIMIT_NOFILE, &few) != 0) {
             return std::string("setrlimit failed");
           }
           while (::open("/dev/null", O_RDONLY) >= 0) {
           }
           return tryBoth();
         });
       },
       "cannot open it: Too many open files"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    std::filesystem::remove_all(file_.parent_path());
    WriteWholeFile(file_, good);
    EXPECT_EQ(c.Run(), "unreadable unreadable | Cannot read the settings file '" + file_.string() + "': " +
                           c.Cause);
    // A folder needs its search bit back, or an ordinary user cannot clear it away next.
    ::chmod(file_.c_str(), std::filesystem::is_directory(file_) ? 0700 : 0600);
    EXPECT_TRUE(std::filesystem::exists(file_));
    for (const auto& entry : std::filesystem::directory_iterator(file_.parent_path())) {
      EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".damaged-")));
    }
  }
  // The same file read and found damaged says so by its kind.
  std::filesystem::remove_all(file_.parent_path());
  WriteWholeFile(file_, "garbage\n");
  EXPECT_EQ(tryBoth(), "damaged none | Cannot read the settings file '" + file_.string() +
                           "': line 1: expected 'Windows Registry Editor Version 5.00'");
}

// Users who keep their settings in a repository link the file in; the link must stay a link.
TEST_F(RegistryStoreTest, SavingThroughALinkReplacesTheTargetAndKeepsTheLink) {
  struct Case {
    const char* What;
    std::vector<std::pair<std::string, std::string>> Links;  // link -> what it holds, in order
    std::string Target;                                      // below the scratch folder
    bool TargetExists;
  };
  const std::string scratch = scratch_.Path().string();
  const Case cases[] = {
      {"absolute link", {{"config/quorix/registry.reg", scratch + "/dotfiles/registry.reg"}},
       "dotfiles/registry.reg", true},
      {"relative link", {{"config/quorix/registry.reg", "../../dotfiles/registry.reg"}}, "dotfiles/registry.reg",
       true},
      {"chain of links",
       {{"config/quorix/registry.reg", "../../middle/link.reg"}, {"middle/link.reg", scratch + "/dotfiles/real.reg"}},
       "dotfiles/real.reg", true},
      {"dangling link", {{"config/quorix/registry.reg", "../../dotfiles/new.reg"}}, "dotfiles/new.reg", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    std::filesystem::remove_all(scratch_ / "config");
    std::filesystem::remove_all(scratch_ / "middle");
    std::filesystem::remove_all(scratch_ / "dotfiles");
    std::filesystem::create_directories(scratch_ / "dotfiles");
    const std::filesystem::path target = scratch_ / c.Target;
    if (c.TargetExists) {
      WriteWholeFile(target, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Old]\n");
    }
    for (const auto& [link, holds] : c.Links) {
      std::filesystem::create_directories((scratch_ / link).parent_path());
      std::filesystem::create_symlink(holds, scratch_ / link);
    }
    {
      TRegistryStore store(file_, {});
      EXPECT_EQ(store.KeyExists(HKCU, "Old"), c.TargetExists);
      ASSERT_TRUE(store.CreateKey(HKCU, "Software\\Vantorell"));
      ASSERT_TRUE(store.WriteValue(HKCU, "Software\\Vantorell", "ListenPort", DwordValue(110)));
      store.Flush();
    }
    for (const auto& [link, holds] : c.Links) {
      ASSERT_TRUE(std::filesystem::is_symlink(scratch_ / link)) << link;
      EXPECT_EQ(std::filesystem::read_symlink(scratch_ / link), holds);
    }
    EXPECT_THAT(ReadWholeFile(target), HasSubstr("\"ListenPort\"=dword:0000006e"));
    EXPECT_EQ(std::filesystem::status(target).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(TRegistryStore(file_, {}).ReadValue(HKCU, "Software\\Vantorell", "ListenPort"), DwordValue(110));
  }
  // A damaged target is set aside beside itself; the link stays for the next save.
  const std::filesystem::path target = scratch_ / "dotfiles/new.reg";
  WriteWholeFile(target, "garbage\n");
  TRegistryStore store(file_, {});
  const std::filesystem::path aside = store.SetAsideDamagedFile();
  EXPECT_TRUE(std::filesystem::equivalent(aside.parent_path(), target.parent_path())) << aside;
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
  ASSERT_TRUE(store.CreateKey(HKCU, "Fresh"));
  store.Flush();
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
  EXPECT_THAT(ReadWholeFile(target), HasSubstr("[HKEY_CURRENT_USER\\Fresh]"));
}

// "\Software" once deleted a key that KeyExists and CreateKey said was not there.
TEST_F(RegistryStoreTest, APathWithAnEmptyPartIsNoKeyForAnyMember) {
  TRegistryStore store(file_, {});
  ASSERT_TRUE(store.CreateKey(HKCU, "Software\\Vantorell"));
  ASSERT_TRUE(store.WriteValue(HKCU, "Software", "v", DwordValue(1)));
  for (const std::string path : {"\\Software", "Software\\", "\\Software\\Vantorell", "Software\\\\Vantorell",
                                 "\\", "\\\\Software"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(store.KeyExists(HKCU, path));
    EXPECT_FALSE(store.CreateKey(HKCU, path));
    EXPECT_FALSE(store.DeleteKey(HKCU, path));
    EXPECT_THAT(store.SubkeyNames(HKCU, path), IsEmpty());
    EXPECT_THAT(store.ValueNames(HKCU, path), IsEmpty());
    EXPECT_EQ(store.ReadValue(HKCU, path, "v"), std::nullopt);
    EXPECT_FALSE(store.WriteValue(HKCU, path, "v", DwordValue(2)));
    EXPECT_FALSE(store.DeleteValue(HKCU, path, "v"));
  }
  EXPECT_TRUE(store.KeyExists(HKCU, "Software\\Vantorell"));
  EXPECT_EQ(store.ReadValue(HKCU, "Software", "v"), DwordValue(1));
  TRegistry registry(store);  // its own paths take one leading "\" as the root
  EXPECT_FALSE(registry.DeleteKey("\\\\Software"));
  EXPECT_FALSE(registry.OpenKey("\\\\Software", true));
  EXPECT_TRUE(registry.KeyExists("\\Software"));
}

// A save killed before its rename leaves its temporary file behind; the next start cleans up
// what is surely dead, and leaves what may be another process's save in progress.
TEST_F(RegistryStoreTest, StaleTemporaryFilesOfKilledSavesAreRemovedAtTheNextLoad) {
  const std::filesystem::path folder = file_.parent_path();
  const auto twoDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  struct Case {
    std::string Name;
    bool Old;
    bool Removed;
  };
  const Case cases[] = {
      {".registry.reg.Ab12Cd", true, true},  {".registry.reg.Xy34Zw", false, false},
      {".registry.reg.old", true, false},    {".registry.reg.Ab12Cd7", true, false},
      {".other.reg.Ab12Cd", true, false},    {"registry.reg.Ab12Cd", true, false},
  };
  for (const Case& c : cases) {
    WriteWholeFile(folder / c.Name, "partial save");
    if (c.Old) {
      std::filesystem::last_write_time(folder / c.Name, twoDaysAgo);
    }
  }
  std::filesystem::create_directories(folder / ".registry.reg.Dir123");  // not a file: not ours
  std::filesystem::last_write_time(folder / ".registry.reg.Dir123", twoDaysAgo);

  TRegistryStore store(file_, {});
  store.Load();
  for (const Case& c : cases) {
    EXPECT_EQ(std::filesystem::exists(folder / c.Name), !c.Removed) << c.Name;
  }
  EXPECT_TRUE(std::filesystem::exists(folder / ".registry.reg.Dir123"));
}

TEST_F(RegistryStoreTest, ADamagedFileStopsEveryUseUntilItIsSetAside) {
  const std::string damaged =
      "Windows Registry Editor Version "
      "5.00\n\n[HKEY_CURRENT_USER\\Software\\Vantorell]\n\"ListenPort\"=dword:6e\n"
      "\"LogPath\"=\"C:\\\\Lo\n";
  WriteWholeFile(file_, damaged);
  const std::string expected =
      "Cannot read the settings file '" + file_.string() + "': line 5: unterminated string";

  TRegistryStore store(file_, FixtureMimeFiles());
  const std::vector<std::pair<const char*, std::function<void()>>> uses = {
      {"Load", [&] { store.Load(); }},
      {"KeyExists", [&] { (void)store.KeyExists(HKCU, "Software"); }},
      {"CreateKey", [&] { store.CreateKey(HKCU, "Software\\New"); }},
      {"DeleteKey", [&] { store.DeleteKey(HKCU, "Software"); }},
      {"SubkeyNames", [&] { (void)store.SubkeyNames(HKCU, ""); }},
      {"ValueNames", [&] { (void)store.ValueNames(HKCU, "Software\\Vantorell"); }},
      {"ReadValue", [&] { (void)store.ReadValue(HKCU, "Software\\Vantorell", "ListenPort"); }},
      {"WriteValue", [&] { store.WriteValue(HKCU, "Software\\Vantorell", "ListenPort", DwordValue(1)); }},
      {"DeleteValue", [&] { store.DeleteValue(HKCU, "Software\\Vantorell", "ListenPort"); }},
      {"MIME view", [&] { (void)store.KeyExists(HKCR, kContentTypes); }},
      {"Flush", [&] { store.Flush(); }},
      {"TRegistry", [&] { TRegistry(store).OpenKey("\\Software", false); }},
  };
  for (const auto& [what, use] : uses) {
    try {
      use();
      ADD_FAILURE() << what << " did not throw";
    } catch (const ERegistryException& error) {
      EXPECT_EQ(std::string(error.what()), expected) << what;
    }
  }
  EXPECT_EQ(ReadWholeFile(file_), damaged);  // never overwritten

  const std::filesystem::path aside = store.SetAsideDamagedFile();
  EXPECT_THAT(aside.string(), StartsWith(file_.string() + ".damaged-"));
  EXPECT_EQ(ReadWholeFile(aside), damaged);
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_THAT(store.SubkeyNames(HKCU, ""), IsEmpty());
  ASSERT_TRUE(store.CreateKey(HKCU, "Software\\Vantorell"));
  ASSERT_TRUE(store.WriteValue(HKCU, "Software\\Vantorell", "ListenPort", DwordValue(110)));
  store.Flush();
  EXPECT_EQ(TRegistryStore(file_, {}).ReadValue(HKCU, "Software\\Vantorell", "ListenPort"), DwordValue(110));
  EXPECT_THROW(store.SetAsideDamagedFile(), ERegistryException);  // nothing damaged any more

  // A second damaged file set aside in the same second keeps the first one.
  WriteWholeFile(file_, "garbage\n");
  TRegistryStore again(file_, {});
  const std::filesystem::path secondAside = again.SetAsideDamagedFile();
  EXPECT_NE(secondAside, aside);
  EXPECT_EQ(ReadWholeFile(secondAside), "garbage\n");
  EXPECT_EQ(ReadWholeFile(aside), damaged);
}

TEST_F(RegistryStoreTest, ClassesRootIsAReadOnlyViewOfTheMimeDatabase) {
  TRegistryStore store(file_, FixtureMimeFiles());
  const auto extension = [&](const std::string& type) -> std::optional<TRegValue> {
    return store.ReadValue(HKCR, kContentTypes + "\\" + type, "Extension");
  };
  EXPECT_EQ(extension("text/html"), SzValue(".xhtml"));  // the user file's entry wins
  EXPECT_EQ(extension("TEXT/Html"), SzValue(".xhtml"));
  EXPECT_EQ(extension("text/plain"), SzValue(".txt"));
  EXPECT_EQ(extension("image/jpeg"), SzValue(".jpeg"));
  EXPECT_EQ(extension("application/x-quorix"), SzValue(".qx"));
  EXPECT_EQ(extension("application/pdf"), SzValue(".pdf"));  // a user line without extensions changes nothing
  EXPECT_FALSE(store.KeyExists(HKCR, kContentTypes + "\\application/x-no-extension"));
  EXPECT_FALSE(store.KeyExists(HKCR, kContentTypes + "\\notatype"));
  EXPECT_THAT(store.SubkeyNames(HKCR, kContentTypes), ElementsAre("application/pdf", "application/x-quorix",
                                                                  "image/jpeg", "text/html", "text/plain"));

  EXPECT_FALSE(store.WriteValue(HKCR, kContentTypes + "\\text/html", "Extension", SzValue(".exe")));
  EXPECT_FALSE(store.DeleteValue(HKCR, kContentTypes + "\\text/html", "Extension"));
  EXPECT_FALSE(store.DeleteKey(HKCR, kContentTypes + "\\text/html"));
  EXPECT_FALSE(store.CreateKey(HKCR, kContentTypes + "\\new/type"));
  EXPECT_TRUE(store.CreateKey(HKCR, kContentTypes + "\\text/html"));  // exists, so "opened"
  EXPECT_EQ(extension("text/html"), SzValue(".xhtml"));

  EXPECT_TRUE(store.KeyExists(HKLM, ""));
  EXPECT_THAT(store.SubkeyNames(HKLM, ""), IsEmpty());
  EXPECT_FALSE(store.CreateKey(HKLM, "Software"));

  // Without a MIME database the view is there but empty.
  TRegistryStore bare(file_, {scratch_ / "no-such-mime.types"});
  EXPECT_TRUE(bare.KeyExists(HKCR, kContentTypes));
  EXPECT_THAT(bare.SubkeyNames(HKCR, kContentTypes), IsEmpty());
  store.Flush();
  EXPECT_FALSE(std::filesystem::exists(file_));  // the view is never written
}

TEST_F(RegistryStoreTest, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kValuesPerThread = 300;
  TRegistryStore store(file_, {});
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, t] {
      TRegistry registry(store);
      const std::string own = "\\Software\\T" + std::to_string(t);
      for (int i = 0; i < kValuesPerThread; ++i) {
        registry.OpenKey(own, true);
        registry.WriteInteger("v" + std::to_string(i), i);
        registry.OpenKey("\\Software\\Shared", true);
        registry.WriteString("t" + std::to_string(t) + "-" + std::to_string(i), "x");
        if (i % 50 == 0) {
          registry.Flush();
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  store.Flush();

  TRegistryStore reread(file_, {});
  for (int t = 0; t < kThreads; ++t) {
    const std::string own = "Software\\T" + std::to_string(t);
    ASSERT_EQ(reread.ValueNames(HKCU, own).size(), static_cast<std::size_t>(kValuesPerThread));
    for (int i = 0; i < kValuesPerThread; ++i) {
      ASSERT_EQ(reread.ReadValue(HKCU, own, "v" + std::to_string(i)),
                DwordValue(static_cast<std::uint32_t>(i)));
    }
  }
  EXPECT_EQ(reread.ValueNames(HKCU, "Software\\Shared").size(),
            static_cast<std::size_t>(kThreads * kValuesPerThread));
}

}  // namespace
