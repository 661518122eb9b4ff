#pragma once
// The common base of every engine object: it knows its owner and the collection it is
// registered in, joins that collection when created and leaves it when destroyed. It also
// defines the property protocol (get, set, check a numbered property) of the call layer.

#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>

#include "engine/BseColl.h"

namespace vader {

class TBapiListItem {
 public:
  TBapiListItem(TBapiListItem* owner, TVaderCollection* collection);
  TBapiListItem(const TBapiListItem&) = delete;
  TBapiListItem& operator=(const TBapiListItem&) = delete;
  virtual ~TBapiListItem();

  // Copies property `propId` into `value` (room for `maxLen` bytes); `len` gets the bytes
  // written. The base supports no property.
  virtual void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len);
  // Sets a property from a 32-bit value; unknown properties are ignored.
  virtual void SetProp(uint32_t propId, int32_t value);
  // Raises DBIERR_NOTSUPPORTED when the property may not be accessed that way.
  virtual void CheckProp(uint32_t propId, bool forWrite);

  TBapiListItem* Owner() const { return owner_; }
  TVaderCollection* Collection() const { return collection_; }
  // Position in the collection, 0 when the item has none.
  int IndexInCollection() const;

 protected:
  // Second construction step, run by CreateItem once the object is complete, so that the
  // overrides of derived classes take part (a constructor only reaches its own class's).
  virtual void AfterConstruction() {}

  struct DeferredRegistration {};
  // For an item whose place in a sorted collection depends on members of a derived class: those
  // members do not exist yet while this constructor runs, so the derived constructor calls
  // Register once they are set.
  TBapiListItem(TBapiListItem* owner, TVaderCollection* collection, DeferredRegistration)
      : owner_(owner), collection_(collection) {}
  void Register();

 private:
  template <class T, class... Args>
  friend T* CreateItem(Args&&... args);

  TBapiListItem* owner_;
  TVaderCollection* collection_;
};

// Writes a property value of `size` bytes; a missing or too small buffer raises
// DBIERR_INVALIDPARAM instead of being overrun.
void PutPropValue(const void* src, uint16_t size, void* value, uint16_t maxLen, uint16_t& len);

// Writes at most `maxLen` characters of `text`, and a NUL when there is room after them; `len`
// gets the characters written + 1. A missing buffer raises DBIERR_INVALIDPARAM.
void PutPropText(std::string_view text, void* value, uint16_t maxLen, uint16_t& len);

// Properties are told apart by the low word of their identifier.
constexpr uint16_t PropLowWord(uint32_t propId) { return static_cast<uint16_t>(propId & 0xFFFF); }

// Creates a T and runs its second construction step; an object whose second step fails is freed
// (it leaves its collection) and the exception passes on.
template <class T, class... Args>
T* CreateItem(Args&&... args) {
  std::unique_ptr<T> item(new T(std::forward<Args>(args)...));
  static_cast<TBapiListItem*>(item.get())->AfterConstruction();
  return item.release();
}

// A class reference for engine objects chosen at run time: creates an object of the class with
// its owner, its collection and two class-specific arguments (a session's name and directory).
using TBapiListItemClass = TBapiListItem* (*)(TBapiListItem* owner, TVaderCollection* collection,
                                              const char* arg1, const char* arg2);

// The class reference of T. A class without a four-argument constructor ignores both arguments.
template <class T>
TBapiListItemClass ClassOf() {
  return [](TBapiListItem* owner, TVaderCollection* collection, const char* arg1,
            const char* arg2) -> TBapiListItem* {
    if constexpr (std::is_constructible_v<T, TBapiListItem*, TVaderCollection*, const char*,
                                          const char*>)
      return CreateItem<T>(owner, collection, arg1, arg2);
    else
      return CreateItem<T>(owner, collection);
  };
}

}  // namespace vader
