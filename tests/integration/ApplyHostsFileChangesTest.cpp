#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/ApplyHostsFileChanges.h"
#include "integration/EHostsFileException.h"
#include "integration/EInvalidHostName.h"
#include "integration/HostName.h"
#include "integration/HostsTestSupport.h"
#include "integration/THostsManager.h"

namespace {

using HostsTest::AccountsFor;
using HostsTest::Ours;
using ::testing::HasSubstr;

const std::string B = "# Begin QX\n";
const std::string E = "# End QX\n";

struct Case {
  const char* name;
  std::string before;
  std::vector<std::string> servers;
  std::string after;
};

std::string Apply(const std::string& text, const std::vector<std::string>& servers) {
  auto hosts = THostsManager::QuorixHostsText(text);
  ApplyHostsFileChanges(*hosts, AccountsFor(servers));
  return hosts->NewText();
}

// Each row: the hosts file, the accounts' servers, the file after bringing the block in line.
// Every row is also applied a second time, which must change nothing.
const Case kCases[] = {
    {"empty file gets a block", "", {"pop.a.org"}, "\n" + B + Ours("127.84.3.1", "pop.a.org.qx") + E},
    {"no accounts and no block: nothing to write", "127.0.0.1 localhost", {}, "127.0.0.1 localhost"},
    {"block appended after a last line without line end",
     "127.0.0.1 localhost",
     {"pop.a.org", "pop.b.org"},
     "127.0.0.1 localhost\n\n" + B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.2", "pop.b.org.qx") + E},
    {"file cut off between CR and LF: the CR LF is completed, the line read as before",
     "127.84.3.1 user.qx \r",
     {"pop.a.org"},
     "127.84.3.1 user.qx \r\n\n" + B + Ours("127.84.3.2", "pop.a.org.qx") + E},
    {"CR LF file gets CR LF lines",
     "127.0.0.1 localhost\r\n::1 localhost\r\n",
     {"pop.a.org"},
     "127.0.0.1 localhost\r\n::1 localhost\r\n\r\n# Begin QX\r\n" + Ours("127.84.3.1", "pop.a.org.qx", "\r\n") +
         "# End QX\r\n"},
    {"canonical block stays as it is",
     "127.0.0.1 localhost\n" + B + Ours("127.84.3.1", "pop.a.org.qx") + E + "# after\n",
     {"pop.a.org"},
     "127.0.0.1 localhost\n" + B + Ours("127.84.3.1", "pop.a.org.qx") + E + "# after\n"},
    {"our lines are rewritten in canonical form, keeping their comment and line end",
     B + "  127.84.3.7\tpop.a.org.qx\t# mine\r\n" + E,
     {"pop.a.org"},
     B + "127.84.3.7" + std::string(24, ' ') + "pop.a.org.qx  # mine\r\n" + E},
    {"removed account loses its line, the end marker follows the rest",
     B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.2", "pop.b.org.qx") + Ours("127.84.3.3", "pop.c.org.qx") + E,
     {"pop.b.org", "pop.d.org"},
     // an address freed in this session is not handed out again before the file is saved
     B + Ours("127.84.3.2", "pop.b.org.qx") + Ours("127.84.3.4", "pop.d.org.qx") + E},
    {"first free address between used ones",
     B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.3", "pop.c.org.qx") + E,
     {"pop.a.org", "pop.c.org", "pop.b.org"},
     B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.3", "pop.c.org.qx") + Ours("127.84.3.2", "pop.b.org.qx") + E},
    {"names compare as the resolver does, without letter case",
     B + Ours("127.84.3.1", "POP.A.ORG.QX") + E,
     {"pop.a.org"},
     B + Ours("127.84.3.1", "POP.A.ORG.QX") + E},
    {"address outside the range is replaced",
     B + Ours("10.1.1.1", "pop.a.org.qx") + E,
     {"pop.a.org"},
     B + Ours("127.84.3.1", "pop.a.org.qx") + E},
    {"two of our names on one address: one moves",
     B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.1", "pop.b.org.qx") + E,
     {"pop.a.org", "pop.b.org"},
     B + Ours("127.84.3.2", "pop.a.org.qx") + Ours("127.84.3.1", "pop.b.org.qx") + E},
    {"address alias of a server known by address is kept on its real address",
     "10.0.0.5 fileserver\n" + B + Ours("10.0.0.5", "qx.10.0.0.5") + Ours("127.84.3.1", "qx.10.0.0.5.qx") + E,
     {"qx.10.0.0.5"},
     "10.0.0.5 fileserver\n" + B + Ours("10.0.0.5", "qx.10.0.0.5") + Ours("127.84.3.1", "qx.10.0.0.5.qx") + E},
    {"dotted address as server name", "", {"10.0.0.5"}, "\n" + B + Ours("127.84.3.1", "10.0.0.5.qx") + E},
    {"user's lines in the block that are not ours stay",
     B + "# note\n\n127.84.3.5 ab\n10.0.0.1 two names\n" + Ours("999.1.1.1", "old.qx") + E,
     {"pop.a.org"},
     B + "# note\n\n127.84.3.5 ab\n10.0.0.1 two names\n" + Ours("999.1.1.1", "old.qx") +
         Ours("127.84.3.1", "pop.a.org.qx") + E},
    {"our names outside the block are the user's; their addresses are taken",
     "127.84.3.1 mine.qx\n127.84.3.2\tpop.a.org.qx   \n",
     {"pop.a.org", "pop.b.org"},
     "127.84.3.1 mine.qx\n127.84.3.2\tpop.a.org.qx   \n\n" + B + Ours("127.84.3.3", "pop.b.org.qx") + E},
    {"end marker with trailing blanks is not one: the begun block is closed after our lines",
     B + Ours("127.84.3.1", "pop.a.org.qx") + "# End QX  \n10.0.0.1 user\n",
     {"pop.a.org", "pop.b.org"},
     B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.2", "pop.b.org.qx") + E + "# End QX  \n10.0.0.1 user\n"},
    {"begun and never ended, at the end of a file without final line end",
     "10.0.0.1 user\n" + B + "127.84.3.1 pop.a.org.qx",
     {"pop.a.org"},
     "10.0.0.1 user\n" + B + Ours("127.84.3.1", "pop.a.org.qx") + E},
    {"ended and never begun: the block begins at our lines before the marker",
     "10.0.0.1 user\n127.84.3.1 pop.a.org.qx\n" + E + "10.0.0.2 other\n",
     {"pop.b.org"},
     "10.0.0.1 user\n" + B + Ours("127.84.3.2", "pop.b.org.qx") + E + "10.0.0.2 other\n"},
    {"a second block is left alone",
     B + Ours("127.84.3.1", "pop.a.org.qx") + E + B + Ours("127.84.3.9", "pop.z.org.qx") + E,
     {},
     B + E + B + Ours("127.84.3.9", "pop.z.org.qx") + E},
};

TEST(ApplyHostsFileChanges, BringsTheBlockInLineAndNothingElse) {
  for (const Case& c : kCases) {
    const std::string after = Apply(c.before, c.servers);
    EXPECT_EQ(after, c.after) << c.name;
    EXPECT_EQ(Apply(after, c.servers), after) << c.name << ": a second run changed the file";
  }
}

TEST(ApplyHostsFileChanges, BytesOutsideTheBlockAreKeptWhateverTheyAre) {
  const std::string hostile[] = {
      std::string("127.0.0.1 local\0host\n", 21),
      "10.0.0.1 a\rb # lone CR\n",
      "10.0.0.2 caf\xC3\xA9 \xFF\xFE\n",
      "# " + std::string(300000, 'x') + "\n",
      "   \t  \n",
      "10.0.0.3 trailing   \t\n",
      "\r\n\r\r\n",
  };
  for (const std::string& line : hostile) {
    const std::string before = line + B + Ours("127.84.3.1", "pop.a.org.qx") + E + line + "no final line end";
    const std::string after = Apply(before, {"pop.a.org", "pop.b.org"});
    EXPECT_EQ(after, line + B + Ours("127.84.3.1", "pop.a.org.qx") + Ours("127.84.3.2", "pop.b.org.qx") + E + line +
                         "no final line end")
        << HostName::Shown(line);
  }
}

TEST(ApplyHostsFileChanges, HostileLinesInTheBlockAreNotOursToRewrite) {
  // A line the resolver reads differently from us (NUL ends it, a CR is a blank to it) is
  // neither rewritten nor deleted.
  const std::string odd[] = {std::string("127.84.3.4 x\0y.qx\n", 18), "127.84.3.5 x\ry.qx\n",
                             "127.84.3.6 \xC3\xA9.qx\n", "127.84.3.7 " + std::string(300, 'a') + ".qx\n"};
  for (const std::string& line : odd) {
    const std::string before = B + line + E;
    EXPECT_EQ(Apply(before, {}), before) << HostName::Shown(line);
  }
}

TEST(ApplyHostsFileChanges, ReportsADamagedBlockAndHowItWasRead) {
  auto hosts = THostsManager::QuorixHostsText("10.0.0.1 user\n" + B + "127.84.3.1 pop.a.org.qx\n10.0.0.2 later\n");
  ASSERT_EQ(hosts->Notices().size(), 1U);
  EXPECT_THAT(hosts->Notices()[0], HasSubstr("\"# Begin QX\" (line 2) without a line \"# End QX\""));
  EXPECT_THAT(hosts->Notices()[0], HasSubstr("end after line 3"));
  ApplyHostsFileChanges(*hosts, AccountsFor({}));
  EXPECT_EQ(hosts->NewText(), "10.0.0.1 user\n" + B + E + "10.0.0.2 later\n");
}

TEST(ApplyHostsFileChanges, RefusesServerNamesThatCannotBeHostNames) {
  for (const std::string& server : std::vector<std::string>{"pop example.org", "pop#1", std::string("pop\0", 4), "pop\r\n10.0.0.1 evil",
                                   std::string(251, 'a'), "[::1]"}) {
    auto hosts = THostsManager::QuorixHostsText("127.0.0.1 localhost\n");
    EXPECT_THROW(ApplyHostsFileChanges(*hosts, AccountsFor({server})), EInvalidHostName) << HostName::Shown(server);
    EXPECT_EQ(hosts->NewText(), "127.0.0.1 localhost\n");
  }
  auto hosts = THostsManager::QuorixHostsText("");
  try {
    ApplyHostsFileChanges(*hosts, AccountsFor({"pop\nevil"}));
    FAIL() << "no error";
  } catch (const EInvalidHostName& error) {
    EXPECT_STREQ(error.what(), "'pop\\x0Aevil.qx' cannot be a host name: it contains the control character \\x0A");
  }
}

TEST(ApplyHostsFileChanges, ALocalNameTheUserMappedElsewhereIsAClearConflict) {
  auto hosts = THostsManager::QuorixHostsText("127.0.0.1 localhost\n10.9.9.9 pop.a.org.qx\n");
  try {
    ApplyHostsFileChanges(*hosts, AccountsFor({"pop.a.org"}));
    FAIL() << "no error";
  } catch (const EHostsFileException& error) {
    EXPECT_THAT(error.what(), HasSubstr("maps 'pop.a.org.qx' to '10.9.9.9' on line 2, outside Quorix's block"));
  }
}

TEST(ApplyHostsFileChanges, RunningOutOfAddressesIsAnErrorNotAnEmptyAddress) {
  std::string block = B;
  std::vector<std::string> servers;
  for (int n = 1; n <= 254; ++n) {
    block += Ours("127.84.3." + std::to_string(n), "s" + std::to_string(n) + ".qx");
    servers.push_back("s" + std::to_string(n));
  }
  block += E;
  EXPECT_EQ(Apply(block, servers), block);
  servers.emplace_back("one.more");
  auto hosts = THostsManager::QuorixHostsText(block);
  EXPECT_THROW(ApplyHostsFileChanges(*hosts, AccountsFor(servers)), EHostsFileException);
}

}  // namespace
