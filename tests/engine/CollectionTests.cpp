#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/BseBapi.h"
#include "engine/BseColl.h"
#include "engine/BseErrs.h"

namespace vader {
namespace {

// A plain list item that logs its id when destroyed.
class Probe : public TBapiListItem {
 public:
  explicit Probe(TVaderCollection* collection, int id = 0, std::vector<int>* log = nullptr)
      : TBapiListItem(nullptr, collection), id_(id), log_(log) {}
  ~Probe() override {
    if (log_ != nullptr) log_->push_back(id_);
  }

 private:
  int id_;
  std::vector<int>* log_;
};

// An item ordered by a key of its own: it joins its sorted collection once the key is set.
class KeyedEntry : public TBapiListItem {
 public:
  KeyedEntry(TVaderCollection* collection, int k)
      : TBapiListItem(nullptr, collection, DeferredRegistration{}), key(k) {
    Register();
  }
  int key;
};

class IntCollection : public TSortedCollection {
 public:
  const void* KeyOf(const TBapiListItem* item) const override {
    return &static_cast<const KeyedEntry*>(item)->key;
  }
  int Compare(const void* a, const void* b) const override {
    return *static_cast<const int*>(a) - *static_cast<const int*>(b);
  }
};

KeyedEntry* AddKey(IntCollection& c, int key) { return new KeyedEntry(&c, key); }

TEST(SortedCollection, DuplicateKeyGoesInFrontOfEqualKeys) {
  IntCollection c;
  AddKey(c, 1);
  auto* first2 = AddKey(c, 2);
  AddKey(c, 3);
  auto* second2 = AddKey(c, 2);
  EXPECT_EQ(c.IndexOf(second2), 1);
  EXPECT_EQ(c.IndexOf(first2), 2);
  auto* third2 = AddKey(c, 2);
  EXPECT_EQ(c.IndexOf(third2), 1);
  EXPECT_EQ(c.Count(), 5);
  int index = -1;
  const int two = 2;
  EXPECT_TRUE(c.Search(&two, index));
  EXPECT_EQ(index, 1);
}

TEST(SortedCollection, WithoutDuplicatesAnExistingKeyIsRefused) {
  IntCollection c;
  c.Duplicates = false;
  AddKey(c, 5);
  AddKey(c, 7);
  KeyedEntry* refused = AddKey(c, 7);
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.IndexOf(refused), -1);
  EXPECT_EQ(refused->Collection(), nullptr);
  int index = -1;
  const int seven = 7;
  EXPECT_TRUE(c.Search(&seven, index));
  EXPECT_EQ(index, 1);
  delete refused;  // the caller still owns it
  EXPECT_EQ(c.Count(), 2);
}

TEST(SortedCollection, SearchOnEmptyAndMissingKeys) {
  IntCollection c;
  int index = -1;
  const int key = 4;
  EXPECT_FALSE(c.Search(&key, index));
  EXPECT_EQ(index, 0);
  AddKey(c, 1);
  AddKey(c, 9);
  EXPECT_FALSE(c.Search(&key, index));
  EXPECT_EQ(index, 1);
  const int big = 10;
  EXPECT_FALSE(c.Search(&big, index));
  EXPECT_EQ(index, 2);
}

TEST(Collection, IndexAccessAtTheEnd) {
  TVaderCollection c;
  auto* item = new Probe(&c);
  EXPECT_EQ(c.At(0), item);
  EXPECT_EQ(c.At(c.Count()), nullptr);
  EXPECT_EQ(c.At(-1), nullptr);
  EXPECT_THROW(c.Items(c.Count()), EListError);
  EXPECT_THROW(c.AtDelete(1), EListError);
  EXPECT_THROW(c.AtInsert(2, item), EListError);
}

TEST(Collection, FreeingTheCollectionDestroysAndUnregistersEachItem) {
  std::vector<int> log;
  auto c = std::make_unique<TVaderCollection>();
  new Probe(c.get(), 1, &log);
  auto* second = new Probe(c.get(), 2, &log);
  new Probe(c.get(), 3, &log);
  EXPECT_EQ(second->IndexInCollection(), 1);
  delete second;
  EXPECT_EQ(c->Count(), 2);
  new Probe(c.get(), 4, &log);
  c.reset();
  EXPECT_EQ(log, (std::vector<int>{2, 4, 3, 1}));
}

TEST(Collection, DeleteAndDeleteAllNeverDestroy) {
  std::vector<int> log;
  TVaderCollection c;
  Probe a(&c, 1, &log);
  Probe b(&c, 2, &log);
  c.Delete(&a);
  c.Delete(&a);
  EXPECT_EQ(c.Count(), 1);
  c.DeleteAll();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_TRUE(log.empty());
}

// An item that destroys a sibling when it is destroyed: the walk must survive the list
// shrinking under it.
class Cascading : public TBapiListItem {
 public:
  Cascading(TVaderCollection* c, Cascading* victim, int* destroyed)
      : TBapiListItem(nullptr, c), victim_(victim), destroyed_(destroyed) {}
  ~Cascading() override {
    ++*destroyed_;
    delete victim_;
  }
  Cascading* victim_;
  int* destroyed_;
};

TEST(Collection, FreeAllSurvivesItemsThatFreeOthers) {
  int destroyed = 0;
  {
    TVaderCollection c;
    auto* first = new Cascading(&c, nullptr, &destroyed);
    new Cascading(&c, nullptr, &destroyed);
    new Cascading(&c, first, &destroyed);
    EXPECT_EQ(c.Count(), 3);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(ListItem, IndexInCollectionWithoutCollectionIsZero) {
  TVaderCollection c;
  Probe loose(nullptr);
  Probe first(&c);
  EXPECT_EQ(loose.IndexInCollection(), 0);
  EXPECT_EQ(first.IndexInCollection(), 0);
  EXPECT_EQ(first.Collection(), &c);
}

TEST(ListItem, PropertyProtocolDefaults) {
  Probe item(nullptr);
  char buffer[8];
  uint16_t len = 99;
  try {
    item.GetProp(0x00050001, buffer, sizeof buffer, len);
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_NOTSUPPORTED);
  }
  EXPECT_NO_THROW(item.SetProp(0x12345678, 1));
  EXPECT_NO_THROW(item.CheckProp(0x12345678, true));
}

// A class with the four-argument constructor of the session classes.
class NamedItem : public TBapiListItem {
 public:
  NamedItem(TBapiListItem* owner, TVaderCollection* c, const char* name, const char*)
      : TBapiListItem(owner, c), name_(name) {}
  std::string name_;
};
class PlainItem : public TBapiListItem {
 public:
  PlainItem(TBapiListItem* owner, TVaderCollection* c) : TBapiListItem(owner, c) {}
};

TEST(ListItem, ClassReferencesCreateRegisteredObjectsOfTheirClass) {
  TVaderCollection c;
  Probe owner(nullptr);
  TBapiListItem* named = ClassOf<NamedItem>()(&owner, &c, "Btrieve", "/data");
  TBapiListItem* plain = ClassOf<PlainItem>()(&owner, &c, "ignored", nullptr);
  EXPECT_EQ(named->Owner(), &owner);
  EXPECT_EQ(static_cast<NamedItem*>(named)->name_, "Btrieve");
  EXPECT_NE(dynamic_cast<PlainItem*>(plain), nullptr);
  EXPECT_EQ(c.IndexOf(plain), 1);
}

TEST(ListItem, PropertyValuesAreNeverWrittenPastTheBuffer) {
  const uint32_t value = 7;
  char small[2];
  uint16_t len = 0;
  EXPECT_THROW(PutPropValue(&value, sizeof value, small, sizeof small, len), EVaderEngineError);
  char room[4];
  PutPropValue(&value, sizeof value, room, sizeof room, len);
  EXPECT_EQ(len, 4);
}

}  // namespace
}  // namespace vader
