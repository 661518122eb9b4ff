#include "engine/BseBapi.h"

#include <algorithm>
#include <cstring>

#include "engine/BseErrs.h"

namespace vader {
namespace {
// String resource passed when an object supports no properties.
constexpr int kNoPropertiesResource = 9125;
}  // namespace

TBapiListItem::TBapiListItem(TBapiListItem* owner, TVaderCollection* collection)
    : owner_(owner), collection_(collection) {
  Register();
}

void TBapiListItem::Register() {
  // An item the collection refuses (a duplicate key) is not registered and must not point at
  // it, or its destructor would reach a collection that may be gone by then.
  if (collection_ != nullptr && !collection_->Add(this)) collection_ = nullptr;
}

TBapiListItem::~TBapiListItem() {
  if (collection_ != nullptr) collection_->Delete(this);
}

void TBapiListItem::GetProp(uint32_t, void*, uint16_t, uint16_t&) {
  RaiseNotSupported(kNoPropertiesResource);
}

void TBapiListItem::SetProp(uint32_t, int32_t) {}

void TBapiListItem::CheckProp(uint32_t, bool) {}

int TBapiListItem::IndexInCollection() const {
  return collection_ != nullptr ? collection_->IndexOf(this) : 0;
}

void PutPropValue(const void* src, uint16_t size, void* value, uint16_t maxLen, uint16_t& len) {
  if (size > 0 && (value == nullptr || maxLen < size)) RaiseEngineError(DBIERR_INVALIDPARAM);
  if (size > 0) std::memcpy(value, src, size);
  len = size;
}

void PutPropText(std::string_view text, void* value, uint16_t maxLen, uint16_t& len) {
  if (value == nullptr) RaiseEngineError(DBIERR_INVALIDPARAM);
  const size_t count = std::min<size_t>(text.size(), maxLen);
  std::memcpy(value, text.data(), count);
  if (count < maxLen) static_cast<char*>(value)[count] = '\0';
  len = static_cast<uint16_t>(count + 1);
}

}  // namespace vader
