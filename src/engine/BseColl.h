#pragma once
// Owning collections of engine objects. A collection destroys the items left in it; an item
// leaves its collection when it is destroyed, so the engine's ownership tree stays consistent
// whichever end is freed first.

#include <vector>

#include "framework/FrameworkErrors.h"

namespace vader {

class TBapiListItem;
class TBaseTable;

class TVaderCollection {
 public:
  TVaderCollection() = default;
  TVaderCollection(const TVaderCollection&) = delete;
  TVaderCollection& operator=(const TVaderCollection&) = delete;
  virtual ~TVaderCollection();

  // Registers `item`; true when it was taken into the list.
  virtual bool Add(TBapiListItem* item);

  // Item at `index`, nullptr when out of range.
  TBapiListItem* At(int index) const;
  // Item at `index`; an out-of-range index raises EListError.
  TBapiListItem* Items(int index) const;
  void AtInsert(int index, TBapiListItem* item);
  // Removes the entry at `index` without destroying the item.
  void AtDelete(int index);
  // Removes `item`'s entry if present, without destroying it.
  void Delete(TBapiListItem* item);
  void DeleteAll() { list_.clear(); }
  void FreeItem(TBapiListItem* item);
  // Destroys every item, last to first, then empties the list.
  void FreeAll();
  int IndexOf(const TBapiListItem* item) const;
  int Count() const { return static_cast<int>(list_.size()); }

 private:
  void CheckIndex(int index, int limit) const;

  std::vector<TBapiListItem*> list_;
};

// A collection kept in key order, with a binary search. With Duplicates a new item goes in front
// of the items with an equal key; without, an item whose key is present is not inserted (and the
// caller keeps it).
class TSortedCollection : public TVaderCollection {
 public:
  bool Duplicates = true;

  bool Add(TBapiListItem* item) override;
  virtual const void* KeyOf(const TBapiListItem* item) const;
  // Negative, zero or positive as key1 sorts before, with or after key2.
  virtual int Compare(const void* key1, const void* key2) const = 0;
  // Binary search for `key`; `index` is the position of the first equal key (with Duplicates)
  // or of the insertion point.
  virtual bool Search(const void* key, int& index) const;
};

// The record cache's collection, ordered by bookmark through the table that owns the records.
// The key of an item is its record image's bookmark.
class TCacheCollection : public TSortedCollection {
 public:
  explicit TCacheCollection(TBaseTable* table) : Table(table) {}

  // The bookmark block of a TMemTableRecord; nullptr for any other item.
  const void* KeyOf(const TBapiListItem* item) const override;

  // The table's bookmark comparison; an engine error there counts as "after".
  int Compare(const void* key1, const void* key2) const override;

  TBaseTable* Table;
};

}  // namespace vader
