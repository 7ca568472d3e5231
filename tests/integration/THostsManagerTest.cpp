#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "integration/EInvalidHostName.h"
#include "integration/HostsTestSupport.h"
#include "integration/THostsManager.h"

namespace {

using HostsTest::Ours;

TEST(THostsManager, RecordsAreLinesWithAnAddressOneNameAndAtMostAComment) {
  auto hosts = THostsManager::QuorixHostsText(
      "10.0.0.1 one\n10.0.0.2 two names\n10.0.0.3 three # note\n::1 localhost\n# 10.0.0.4 commented\n"
      "10.0.0.5\n10.0.0.6x glued\n");
  ASSERT_EQ(hosts->Records().size(), 2U);
  EXPECT_EQ(hosts->Records()[0]->HostName, "one");
  EXPECT_EQ(hosts->Records()[0]->Comment, "");
  EXPECT_EQ(hosts->Records()[1]->HostName, "three");
  EXPECT_EQ(hosts->Records()[1]->Comment, "# note");
  EXPECT_EQ(hosts->Records()[1]->LineIndex, 2);
  EXPECT_FALSE(hosts->Records()[0]->IsOurs);
}

TEST(THostsManager, OnlyPrefixedOrSuffixedNamesInTheBlockAreOurs) {
  auto hosts = THostsManager::QuorixHostsText(
      "127.84.3.9 out.qx\n# Begin QX\n127.84.3.1 a.qx\n10.0.0.5 qx.10.0.0.5\n127.84.3.2 ab\n127.84.3.3 qx\n"
      "127.84.3.4 .qx\n127.84.3.5 pop.qxmail.com.qx\n# End QX\n");
  std::string ours;
  for (const auto& record : hosts->Records()) {
    if (record->IsOurs) {
      ours += record->HostName + " ";
    }
  }
  EXPECT_EQ(ours, "a.qx qx.10.0.0.5 pop.qxmail.com.qx ");
}

TEST(THostsManager, FindFreeIpSkipsEveryUsedAddressAndAddedOnes) {
  auto hosts = THostsManager::QuorixHostsText("127.84.3.1 a\n127.84.3.3 b\n");
  EXPECT_EQ(hosts->findFreeIp(), "127.84.3.2");
  ASSERT_NE(hosts->add("c.qx", "127.84.3.2"), nullptr);
  EXPECT_EQ(hosts->findFreeIp(), "127.84.3.4");
}

TEST(THostsManager, AddOfAnExistingNameAddsNothingAndSaysSo) {
  auto hosts = THostsManager::QuorixHostsText("127.84.3.1 a.qx\n");
  EXPECT_EQ(hosts->add("A.QX", "127.84.3.2"), nullptr);
  ASSERT_EQ(hosts->Notices().size(), 1U);
  EXPECT_EQ(hosts->Notices()[0], "Error: The host(\"A.QX\") already exists.");
  EXPECT_THROW(hosts->add("bad name.qx", "127.84.3.2"), EInvalidHostName);
  EXPECT_EQ(hosts->NewText(), "127.84.3.1 a.qx\n");
}

TEST(THostsManager, AddedRecordsAreWrittenInTheOrderOfAddingAndPlaceholdersNever) {
  auto hosts = THostsManager::QuorixHostsText("# Begin QX\n# End QX\n");
  hosts->add("b.qx", "127.84.3.1");
  hosts->add("unknown", "0.0.0.0");
  hosts->add("a.qx", "127.84.3.2");
  hosts->add("c.qx", "");  // no free address: such a record is never written
  EXPECT_EQ(hosts->NewText(), "# Begin QX\n" + Ours("127.84.3.1", "b.qx") + Ours("127.84.3.2", "a.qx") + "# End QX\n");
}

TEST(THostsManager, FindWantsTheNameAndTheFirstRecordOfTheAddress) {
  auto hosts = THostsManager::QuorixHostsText("10.0.0.5 other\n10.0.0.5 qx.10.0.0.5\n10.0.0.6 qx.10.0.0.6\n");
  EXPECT_EQ(hosts->find("qx.10.0.0.5", "10.0.0.5"), nullptr);
  EXPECT_NE(hosts->find("qx.10.0.0.6", "10.0.0.6"), nullptr);
  EXPECT_EQ(hosts->countByIp("10.0.0.5"), 2);
}

TEST(THostsManager, LocalAddressesAreWhatTheResolverAnswersForOurNames) {
  auto hosts = THostsManager::QuorixHostsText(
      "127.84.3.7 user.qx\n# Begin QX\n127.84.3.1 a.qx\n127.84.3.2 A.QX\n10.0.0.5 qx.10.0.0.5\n127.84.3.3 b.qx\n"
      "127.84.3.0 zero.qx\n# End QX\n");
  hosts->deleteRecord(hosts->findByHostName("b.qx"));
  using Pair = std::pair<std::string, std::string>;
  EXPECT_EQ(hosts->LocalAddresses(), (std::vector<Pair>{{"user.qx", "127.84.3.7"}, {"a.qx", "127.84.3.1"}}));
}

}  // namespace
