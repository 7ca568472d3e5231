#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/AsciiCase.h"
#include "config/ConfigTestSupport.h"
#include "config/EConvertError.h"
#include "config/TListContainer.h"
#include "config/TNamedListContainer.h"
#include "platform/ERegistryException.h"
#include "platform/THKey.h"

namespace {

using ConfigTest::Dword;
using ConfigTest::ErrorTextOf;
using ConfigTest::Sz;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Optional;

class TItem : public TStoreableObject {
 public:
  TItem() = default;
  TItem(std::string label, int weight) : Label(std::move(label)), Weight(weight) {}
  [[nodiscard]] std::string ClassName() const override { return "TItem"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override {
    static const TPropertyTable properties{Published("Label", &TItem::Label),
                                           Published("Weight", &TItem::Weight)};
    return properties;
  }
  std::string Label;
  int Weight = 1;
};

class TOtherItem : public TStoreableObject {
 public:
  [[nodiscard]] std::string ClassName() const override { return "TOtherItem"; }
};

class TItems : public TListContainer {
 public:
  TItems() : TListContainer(&CreateStoreable<TItem>) {}
  [[nodiscard]] std::string ClassName() const override { return "TItems"; }
  [[nodiscard]] TItem* Item(int index) const { return dynamic_cast<TItem*>(GetObjectByIndex(index)); }
};

class TOtherItems : public TListContainer {
 public:
  TOtherItems() : TListContainer(&CreateStoreable<TOtherItem>) {}
  [[nodiscard]] std::string ClassName() const override { return "TOtherItems"; }
};

class TNamedItems : public TNamedListContainer {
 public:
  TNamedItems() : TNamedListContainer(&CreateStoreable<TItem>) {}
  [[nodiscard]] std::string ClassName() const override { return "TNamedItems"; }
  [[nodiscard]] TItem* Item(int index) const { return dynamic_cast<TItem*>(GetObjectByIndex(index)); }
};

std::vector<std::string> Labels(const TListContainerBase& list) {
  std::vector<std::string> labels;
  for (int i = 0; i < list.GetCount(); ++i) {
    labels.push_back(dynamic_cast<const TItem&>(*list.GetObjectByIndex(i)).Label);
  }
  return labels;
}

std::vector<std::string> Names(const TNamedListContainer& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.GetCount(); ++i) {
    names.push_back(list.GetName(i));
  }
  return names;
}

void Fill(TItems& list, int count) {
  list.Clear();
  for (int i = 0; i < count; ++i) {
    list.Add(std::make_unique<TItem>("item " + std::to_string(i), i));
  }
}

constexpr const char* ListKey = "\\Software\\QuorixTest\\List";
constexpr const char* ListPath = "Software\\QuorixTest\\List";

using TListContainerTest = ConfigTest::RegistryTest;

TEST_F(TListContainerTest, APlainListOccupiesTheFirstIdentifiersAndAShrunkListDeletesTheRest) {
  TItems list;
  Fill(list, 5);
  list.SaveToRegistry(Registry(), ListKey);
  EXPECT_THAT(reg.Subkeys(ListPath), ElementsAre("00000000", "00000001", "00000002", "00000003", "00000004"));

  list.Delete(0);  // every item moves up one identifier
  list.Delete(3);
  list.SaveToRegistry(Registry(), ListKey);
  reg.Reopen();
  EXPECT_THAT(reg.Subkeys(ListPath), ElementsAre("00000000", "00000001", "00000002"));
  EXPECT_THAT(reg.Get("Software\\QuorixTest\\List\\00000000", "Label"), Optional(Sz("item 1")));
  EXPECT_THAT(reg.Get("Software\\QuorixTest\\List\\00000002", "Weight"), Optional(Dword(3)));
  EXPECT_THAT(reg.ValueNames(ListPath), IsEmpty());  // the list has no properties of its own

  TItems loaded;
  EXPECT_TRUE(loaded.LoadFromRegistry(Registry(), ListKey));
  EXPECT_THAT(Labels(loaded), ElementsAre("item 1", "item 2", "item 3"));
  EXPECT_EQ(loaded.Item(2)->Weight, 3);
}

TEST_F(TListContainerTest, IdentifiersAreTheIndexInEightDigits) {
  TItems list;
  EXPECT_EQ(list.StorageIdentifier(0), "00000000");
  EXPECT_EQ(list.StorageIdentifier(12), "00000012");
  EXPECT_EQ(list.StorageIdentifier(12345678), "12345678");
}

TEST_F(TListContainerTest, SavingAnEmptyListDeletesEverySubkey) {
  TItems list;
  Fill(list, 2);
  list.SaveToRegistry(Registry(), ListKey);
  list.Clear();
  list.SaveToRegistry(Registry(), ListKey);
  EXPECT_TRUE(reg.KeyExists(ListPath));
  EXPECT_THAT(reg.Subkeys(ListPath), IsEmpty());
}

TEST_F(TListContainerTest, LoadingEmptiesTheListFirstAndAnswersWhetherThereWereSubkeys) {
  TItems list;
  Fill(list, 2);
  EXPECT_FALSE(list.LoadFromRegistry(Registry(), ListKey));  // missing: created, empty
  EXPECT_TRUE(reg.KeyExists(ListPath));
  EXPECT_EQ(list.GetCount(), 0);

  reg.Put("Software\\QuorixTest\\List\\00000000", "Label", Sz("stored"));
  Fill(list, 2);
  EXPECT_TRUE(list.LoadFromRegistry(Registry(), ListKey));
  EXPECT_THAT(Labels(list), ElementsAre("stored"));
  EXPECT_EQ(list.Item(0)->Weight, 1);  // no value: the constructor's default
}

TEST_F(TListContainerTest, SaveAndLoadReopenTheCallersKeyAlsoAfterAnError) {
  ASSERT_TRUE(Registry().OpenKey("\\Software\\QuorixTest\\Caller", true));
  TItems list;
  Fill(list, 3);
  list.SaveToRegistry(Registry(), ListKey);
  EXPECT_EQ(Registry().CurrentPath(), "Software\\QuorixTest\\Caller");

  reg.Put("Software\\QuorixTest\\List\\00000001", "Weight", Sz("heavy"));
  EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)list.LoadFromRegistry(Registry(), ListKey); }),
            "Invalid data type for 'Weight'");
  EXPECT_EQ(Registry().CurrentPath(), "Software\\QuorixTest\\Caller");
  EXPECT_THAT(Labels(list), ElementsAre("item 0"));  // what was read before the bad item
}

TEST_F(TListContainerTest, RenamingANamedItemAndSavingMovesItsSubkey) {
  TNamedItems list;
  list.Add("first", std::make_unique<TItem>("one", 1));
  list.Add("second", std::make_unique<TItem>("two", 2));
  list.SaveToRegistry(Registry(), ListKey);
  EXPECT_THAT(reg.Subkeys(ListPath), ElementsAre("first", "second"));

  list.SetName(0, "renamed");
  list.SaveToRegistry(Registry(), ListKey);
  EXPECT_THAT(reg.Subkeys(ListPath), ElementsAre("renamed", "second"));
  EXPECT_THAT(reg.Get("Software\\QuorixTest\\List\\renamed", "Label"), Optional(Sz("one")));

  list.Delete(1);
  list.SaveToRegistry(Registry(), ListKey);
  EXPECT_THAT(reg.Subkeys(ListPath), ElementsAre("renamed"));
}

TEST_F(TListContainerTest, ANameChangedOnlyInLetterCaseKeepsItsData) {
  // Subkey names ignore case: the item is written into the existing key, which must not
  // then be deleted as the subkey of an item that no longer exists.
  TNamedItems list;
  list.Add("Mail.Example.com.qx", std::make_unique<TItem>("kept", 5));
  list.SaveToRegistry(Registry(), ListKey);
  list.SetName(0, "mail.example.com.qx");
  list.SaveToRegistry(Registry(), ListKey);

  TNamedItems loaded;
  EXPECT_TRUE(loaded.LoadFromRegistry(Registry(), ListKey));
  ASSERT_EQ(loaded.GetCount(), 1);
  EXPECT_EQ(loaded.Item(0)->Label, "kept");
  EXPECT_TRUE(caseInsensitiveEquals(loaded.GetName(0), "mail.example.com.qx"));
}

TEST_F(TListContainerTest, ANamedListLoadsInTheRegistrysOrderNotTheSaveOrder) {
  TNamedItems list;
  list.Add("zeta", std::make_unique<TItem>("z", 1));
  list.Add("Alpha", std::make_unique<TItem>("a", 2));
  list.Add("beta", std::make_unique<TItem>("b", 3));
  list.SaveToRegistry(Registry(), ListKey);
  reg.Reopen();

  TNamedItems loaded;
  EXPECT_TRUE(loaded.LoadFromRegistry(Registry(), ListKey));
  EXPECT_THAT(Names(loaded), ElementsAre("Alpha", "beta", "zeta"));
  EXPECT_THAT(Labels(loaded), ElementsAre("a", "b", "z"));
}

TEST(TNamedListContainerTest, LookupsIgnoreLetterCaseAndFindTheFirstOfTwins) {
  TNamedItems list;
  EXPECT_EQ(list.GetObjectByName("anything"), nullptr);
  list.Add("Alpha", std::make_unique<TItem>("first", 1));
  list.Add("beta", std::make_unique<TItem>("b", 2));
  list.Add("ALPHA", std::make_unique<TItem>("twin", 3));  // not rejected: callers check

  EXPECT_EQ(list.IndexOf("alpha"), 0);
  EXPECT_EQ(list.IndexOf("BETA"), 1);
  EXPECT_EQ(list.IndexOf("gamma"), -1);
  EXPECT_EQ(list.IndexOf(""), -1);
  EXPECT_EQ(list.GetObjectByName("aLpHa"), list.GetObjectByIndex(0));
  EXPECT_EQ(list.GetObjectByName("gamma"), nullptr);
  EXPECT_THAT(Names(list), ElementsAre("Alpha", "beta", "ALPHA"));  // insertion order
}

TEST(TListContainerIndexTest, OutOfRangeIndexes) {
  TItems plain;
  Fill(plain, 2);
  TNamedItems named;
  named.Add("a", std::make_unique<TItem>());
  for (const int index : {-1, 2, 100}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(plain.GetObjectByIndex(index), nullptr);
    EXPECT_THROW(plain.Delete(index), std::out_of_range);
  }
  EXPECT_EQ(named.GetObjectByIndex(-1), nullptr);
  EXPECT_EQ(named.GetObjectByIndex(1), nullptr);
  EXPECT_THROW(named.Delete(1), std::out_of_range);
  EXPECT_THROW((void)named.GetName(-1), std::out_of_range);
  EXPECT_EQ(plain.GetCount(), 2);
  EXPECT_EQ(named.GetCount(), 1);
}

TEST(TListContainerAssignTest, APlainListCopiesItemsDeeplyInOrder) {
  TItems source;
  Fill(source, 3);
  TItems copy;
  Fill(copy, 5);
  copy.Assign(source);
  EXPECT_THAT(Labels(copy), ElementsAre("item 0", "item 1", "item 2"));
  EXPECT_NE(copy.GetObjectByIndex(0), source.GetObjectByIndex(0));
  source.Item(0)->Label = "changed";
  source.Delete(2);
  EXPECT_THAT(Labels(copy), ElementsAre("item 0", "item 1", "item 2"));
  EXPECT_EQ(copy.Item(2)->Weight, 2);
}

TEST(TListContainerAssignTest, ANamedListCopiesNamesAndOrder) {
  TNamedItems source;
  source.Add("zeta", std::make_unique<TItem>("z", 1));
  source.Add("Alpha", std::make_unique<TItem>("a", 2));
  TNamedItems copy;
  copy.Add("old", std::make_unique<TItem>());
  copy.Assign(source);
  EXPECT_THAT(Names(copy), ElementsAre("zeta", "Alpha"));
  EXPECT_THAT(Labels(copy), ElementsAre("z", "a"));
  source.SetName(0, "renamed");
  EXPECT_EQ(copy.GetName(0), "zeta");

  TItems plain;  // a plain list takes the items and drops the names
  plain.Assign(source);
  EXPECT_THAT(Labels(plain), ElementsAre("z", "a"));
}

TEST(TListContainerAssignTest, SelfAssignmentKeepsTheItems) {
  TItems list;
  Fill(list, 2);
  list.Assign(list);
  EXPECT_THAT(Labels(list), ElementsAre("item 0", "item 1"));
}

TEST(TListContainerAssignTest, RejectedSourcesLeaveTheListAsItWas) {
  TItems list;
  Fill(list, 2);

  TOtherItems otherItems;
  otherItems.Add(std::make_unique<TOtherItem>());
  EXPECT_EQ(ErrorTextOf<EConvertError>([&] { list.Assign(otherItems); }),
            "Cannot assign a TOtherItem to a TItem");
  EXPECT_THAT(Labels(list), ElementsAre("item 0", "item 1"));

  const TItem notAList("x", 1);
  EXPECT_EQ(ErrorTextOf<EConvertError>([&] { list.Assign(notAList); }), "Cannot assign a TItem to a TItems");
  EXPECT_THAT(Labels(list), ElementsAre("item 0", "item 1"));
}

}  // namespace
