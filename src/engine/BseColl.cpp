#include "engine/BseColl.h"

#include <algorithm>

#include "engine/BseBapi.h"
#include "engine/BseCache.h"
#include "engine/BseErrs.h"
#include "engine/BseTable.h"

namespace vader {

TVaderCollection::~TVaderCollection() { FreeAll(); }

bool TVaderCollection::Add(TBapiListItem* item) {
  list_.push_back(item);
  return true;
}

TBapiListItem* TVaderCollection::At(int index) const {
  return index >= 0 && index < Count() ? list_[index] : nullptr;
}

void TVaderCollection::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit)
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

TBapiListItem* TVaderCollection::Items(int index) const {
  CheckIndex(index, Count() - 1);
  return list_[index];
}

void TVaderCollection::AtInsert(int index, TBapiListItem* item) {
  CheckIndex(index, Count());
  list_.insert(list_.begin() + index, item);
}

void TVaderCollection::AtDelete(int index) {
  CheckIndex(index, Count() - 1);
  list_.erase(list_.begin() + index);
}

void TVaderCollection::Delete(TBapiListItem* item) {
  // Searched from the end: items are mostly destroyed newest first (FreeAll), so this is quick.
  const auto found = std::find(list_.rbegin(), list_.rend(), item);
  if (found != list_.rend()) list_.erase(std::next(found).base());
}

void TVaderCollection::FreeItem(TBapiListItem* item) { delete item; }

void TVaderCollection::FreeAll() {
  // Each destroyed item removes itself from this list, hence the walk from the end; an item
  // that takes others with it only makes later positions empty.
  for (int i = Count() - 1; i >= 0; --i) FreeItem(At(i));
  list_.clear();
}

int TVaderCollection::IndexOf(const TBapiListItem* item) const {
  const auto found = std::find(list_.begin(), list_.end(), item);
  return found == list_.end() ? -1 : static_cast<int>(found - list_.begin());
}

const void* TSortedCollection::KeyOf(const TBapiListItem* item) const { return item; }

bool TSortedCollection::Search(const void* key, int& index) const {
  int low = 0;
  int high = Count() - 1;
  bool found = false;
  while (low <= high) {
    const int i = (low + high) >> 1;
    const int c = Compare(KeyOf(At(i)), key);
    if (c < 0) {
      low = i + 1;
    } else {
      high = i - 1;
      if (c == 0) {
        found = true;
        if (!Duplicates) low = i;
      }
    }
  }
  index = low;
  return found;
}

bool TSortedCollection::Add(TBapiListItem* item) {
  int index = 0;
  if (Search(KeyOf(item), index) && !Duplicates) return false;
  AtInsert(index, item);
  return true;
}

const void* TCacheCollection::KeyOf(const TBapiListItem* item) const {
  const auto* image = dynamic_cast<const TMemTableRecord*>(item);
  return image != nullptr ? image->Bookmark() : nullptr;
}

int TCacheCollection::Compare(const void* key1, const void* key2) const {
  int result = 0;
  try {
    CheckParam(Table)->CompareBookMarks(key1, key2, result);
  } catch (const EVaderEngineError&) {
    return 1;
  }
  return result;
}

}  // namespace vader
