#include "btrieve/BtrWObj.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrIntrf.h"

namespace vader {
namespace {

// Operation per direction, indexed by "the file has no keys".
constexpr uint16_t kFirstOps[2] = {B_GET_FIRST, B_STEP_FIRST};
constexpr uint16_t kLastOps[2] = {B_GET_LAST, B_STEP_LAST};
constexpr uint16_t kNextOps[2] = {B_GET_NEXT, B_STEP_NEXT};
constexpr uint16_t kPrevOps[2] = {B_GET_PREVIOUS, B_STEP_PREVIOUS};

constexpr size_t kSegmentSpecCount = (kStatAreaSize - sizeof(StatFileSpec)) / 16;
constexpr size_t kNoSegment = static_cast<size_t>(-1);

KeySegmentSpec SegmentAt(const uint8_t* area, size_t offset) {
  KeySegmentSpec layout;
  std::memcpy(&layout, area + offset, sizeof layout);
  return layout;
}

// Copies a NUL-terminated name into a key buffer; longer names do not fit a Btrieve key buffer.
bool CopyName(uint8_t (&dest)[kBtrKeyBufferSize], std::string_view name) {
  const size_t length = std::min(name.size(), name.find('\0'));
  if (length >= kBtrKeyBufferSize) return false;
  std::memset(dest, 0, sizeof dest);
  std::memcpy(dest, name.data(), length);
  return true;
}

// Restores the key number on every way out of a scope.
class KeyNumberGuard {
 public:
  explicit KeyNumberGuard(int8_t& keyNumber) : keyNumber_(keyNumber), saved_(keyNumber) {}
  ~KeyNumberGuard() { keyNumber_ = saved_; }
  int8_t Saved() const { return saved_; }
  KeyNumberGuard(const KeyNumberGuard&) = delete;
  KeyNumberGuard& operator=(const KeyNumberGuard&) = delete;

 private:
  int8_t& keyNumber_;
  int8_t saved_;
};

}  // namespace

TWinBtr::TWinBtr(const uint8_t* clientId) : useClientId_(clientId != nullptr) {
  if (clientId != nullptr) std::memcpy(clientId_, clientId, kClientIdSize);
}

TWinBtr::~TWinBtr() {
  if (isOpen_) {
    try {
      Close();
    } catch (const EVaderEngineError&) {
      // A destructor cannot report; the file is released by the record manager at Stop.
    }
  }
  FreeBuffer();
}

int16_t TWinBtr::Issue(uint16_t operation, void* data, uint32_t& length, void* key,
                       uint8_t keyLength, int8_t keyNumber) {
  status_ = useClientId_
                ? BtrCallId(operation, positionBlock_, data, &length, key, keyLength, keyNumber,
                            clientId_)
                : BtrCall(operation, positionBlock_, data, &length, key, keyLength, keyNumber);
  return status_;
}

void TWinBtr::RaiseIfFailed() {
  if (!StatusOK()) BtrieveError(status_);
}

int16_t TWinBtr::GetStatus() {
  if (status_ == B_DATALENGTH_ERROR && acceptShortBuffer_) status_ = B_NO_ERROR;
  return status_;
}

// ---- buffers ----

void TWinBtr::SetBufferSize(int32_t size) {
  status_ = B_NO_ERROR;
  if (size == bufferSize_) return;
  FreeBuffer();
  buffer_.reset(size > 0 ? new (std::nothrow) uint8_t[static_cast<size_t>(size)]() : nullptr);
  if (size > 0 && !buffer_) {
    dataLength_ = 0;
    status_ = B_DATALENGTH_ERROR;
    return;
  }
  bufferSize_ = dataLength_ = std::max(size, 0);
  dataPtr_ = buffer_.get();
}

void TWinBtr::FreeBuffer() {
  buffer_.reset();
  dataPtr_ = nullptr;
  bufferSize_ = 0;
}

void TWinBtr::UseDataBuffer(uint8_t* data) {
  if (data != nullptr) dataPtr_ = data;
}

int32_t TWinBtr::TakeDataLength() {
  const int32_t length = dataLength_;
  dataLength_ = bufferSize_;
  return length;
}

// ---- open and close ----

void TWinBtr::Open(std::string_view fileName, std::string_view ownerName, int8_t openMode) {
  if (isOpen_) Close();
  if (!CopyName(keyBuffer_, fileName)) BtrieveErrorText(B_FILENAME_BAD, fileName);
  std::vector<char> owner(ownerName.begin(), ownerName.end());
  owner.push_back('\0');
  uint32_t length = ownerName.empty() ? 0 : static_cast<uint32_t>(owner.size());
  Issue(B_OPEN, owner.data(), length, keyBuffer_, kFullKeyLength, openMode);
  if (!StatusOK()) BtrieveErrorText(status_, fileName);
  isOpen_ = true;
  keyNumber_ = 0;
  SetBufferSize(GetRecordLength());
  if (!StatusOK()) {
    // Without a record buffer the file cannot be used: release it and say why.
    const int16_t status = status_;
    uint8_t scratch[4] = {};
    uint32_t scratchLength = sizeof scratch;
    Issue(B_CLOSE, scratch, scratchLength, keyBuffer_, kFullKeyLength, keyNumber_);
    isOpen_ = false;
    std::memset(statArea_, 0, sizeof statArea_);
    BtrieveErrorText(status, fileName);
  }
  noKeys_ = KeyCount() == 0;
}

void TWinBtr::Close() {
  if (!isOpen_) BtrieveError(B_FILE_NOT_OPEN);
  uint8_t scratch[4] = {};
  uint32_t length = sizeof scratch;
  Issue(B_CLOSE, scratch, length, keyBuffer_, kFullKeyLength, keyNumber_);
  isOpen_ = false;
  FreeBuffer();
  std::memset(statArea_, 0, sizeof statArea_);
  RaiseIfFailed();
}

// ---- the general operation ----

void TWinBtr::Call(uint16_t operation) {
  const bool writes = operation == B_INSERT || operation == B_UPDATE;
  callLength_ = writes ? TakeDataLength() : bufferSize_;
  const bool locked = lockBias_ != 0;
  if (locked) {
    operation = static_cast<uint16_t>(operation + lockBias_);
    lockBias_ = 0;
  }
  // A write longer than the object's own buffer would send bytes past its end; a longer record
  // comes from a buffer of the caller's (UseDataBuffer).
  if (writes && dataPtr_ == buffer_.get() && callLength_ > bufferSize_) {
    status_ = B_DATALENGTH_ERROR;
    BtrieveError(status_);
  }
  uint32_t length = static_cast<uint32_t>(std::max(callLength_, 0));
  Issue(operation, dataPtr_, length, keyBuffer_, kFullKeyLength, keyNumber_);
  callLength_ = static_cast<int32_t>(length);
  if (!StatusOK()) {
    dataPtr_ = buffer_.get();
    BtrieveError(status_);
  }
  // A short record leaves nothing of the previous one behind it.
  if (dataPtr_ != nullptr && length < static_cast<uint32_t>(bufferSize_))
    std::memset(dataPtr_ + length, 0, static_cast<size_t>(bufferSize_) - length);
  dataPtr_ = buffer_.get();
  if (locked) lockedPosition_ = GetPosition();
}

void TWinBtr::CallDirect(uint16_t operation, void* data, int32_t length) {
  uint32_t local = static_cast<uint32_t>(std::max(length, 0));
  Issue(operation, data, local, keyBuffer_, kFullKeyLength, keyNumber_);
  if (status_ != B_NO_ERROR) BtrieveError(status_);
}

void TWinBtr::GetFirst() { Call(Direction(kFirstOps)); }
void TWinBtr::GetLast() { Call(Direction(kLastOps)); }
void TWinBtr::GetNext() { Call(Direction(kNextOps)); }
void TWinBtr::GetPrev() { Call(Direction(kPrevOps)); }

void TWinBtr::ClearKey(int32_t length) {
  if (length > 0 && length <= static_cast<int32_t>(kBtrKeyBufferSize))
    std::memset(keyBuffer_, 0, static_cast<size_t>(length));
}

void TWinBtr::GetByKey(uint16_t operation, const void* key, int8_t keyNumber, int32_t keyLength) {
  if (key == nullptr) BtrieveError(B_NULL_KEYPATH);
  keyNumber_ = keyNumber;
  if (keyLength > static_cast<int32_t>(kBtrKeyBufferSize)) BtrieveError(B_INVALID_KEYLENGTH);
  if (keyLength > 0 && key != keyBuffer_)
    std::memmove(keyBuffer_, key, static_cast<size_t>(keyLength));
  Call(operation);
}

void TWinBtr::GetEqual(const void* key, int32_t keyLength, int8_t keyNumber) {
  GetByKey(B_GET_EQUAL, key, keyNumber, keyLength);
}

void TWinBtr::Insert() { Call(B_INSERT); }

void TWinBtr::Update() {
  Call(B_UPDATE);
  Unlock();
}

void TWinBtr::Delete() { Call(B_DELETE); }

void TWinBtr::Unlock() {
  if (lockedPosition_ == 0) return;
  CallDirect(B_UNLOCK, &lockedPosition_, sizeof lockedPosition_);
  lockedPosition_ = 0;
}

// ---- positions ----

int32_t TWinBtr::GetPosition() {
  int32_t position = 0;
  CallDirect(B_GET_POSITION, &position, sizeof position);
  dataPtr_ = buffer_.get();
  return position;
}

void TWinBtr::GetDirect(int32_t position) {
  if (dataPtr_ == nullptr || bufferSize_ < static_cast<int32_t>(sizeof position))
    BtrieveError(B_DATALENGTH_ERROR);
  std::memcpy(dataPtr_, &position, sizeof position);
  Call(B_GET_DIRECT);
}

void TWinBtr::GetDirectClean(int32_t position) {
  if (!buffer_ || bufferSize_ < static_cast<int32_t>(sizeof position))
    BtrieveError(B_DATALENGTH_ERROR);
  std::memset(buffer_.get(), 0, static_cast<size_t>(std::min(12, bufferSize_)));
  std::memcpy(buffer_.get(), &position, sizeof position);
  dataPtr_ = buffer_.get();
  Call(B_GET_DIRECT);
}

int32_t TWinBtr::FindPercentage(bool byKey) {
  KeyNumberGuard guard(keyNumber_);
  try {
    const int32_t position = GetPosition();
    int32_t result = 0;
    if (!byKey) {
      result = position;
      keyNumber_ = kNoKeyNumber;
    }
    CallDirect(B_GET_PERCENT, &result, sizeof result);
    keyNumber_ = guard.Saved();
    GetDirect(position);
    return result;
  } catch (const EBtrieveEngineError&) {
    return 0;
  }
}

void TWinBtr::GetByPercentage(bool byKey, int32_t percentage) {
  KeyNumberGuard guard(keyNumber_);
  if (!byKey) keyNumber_ = kNoKeyNumber;
  if (dataPtr_ == nullptr || bufferSize_ < static_cast<int32_t>(sizeof percentage))
    BtrieveError(B_DATALENGTH_ERROR);
  std::memcpy(dataPtr_, &percentage, sizeof percentage);
  Call(B_SEEK_PERCENT);
}

// ---- transactions, indexes, files, directories ----

void TWinBtr::BeginTransaction(bool concurrent) {
  CallDirect(concurrent ? B_BEGIN_CONCURRENT_NOWAIT : B_BEGIN_TRAN, nullptr, 0);
}

void TWinBtr::EndTransaction() { Call(B_END_TRAN); }
void TWinBtr::AbortTransaction() { Call(B_ABORT_TRAN); }

void TWinBtr::CreateIndex(const KeySegmentSpec* segments, int32_t segmentCount, int8_t keyNumber) {
  if (keyNumber != 0) keyNumber_ = static_cast<int8_t>(keyNumber | 0x80);
  CallDirect(B_BUILD_INDEX, const_cast<KeySegmentSpec*>(segments),
             segmentCount * static_cast<int32_t>(sizeof(KeySegmentSpec)));
  Stat();
}

void TWinBtr::DropIndex(int8_t keyNumber) {
  keyNumber_ = keyNumber;
  Call(B_DROP_INDEX);
  Stat();
}

void TWinBtr::CreateLike(std::string_view fileName) {
  Stat();
  if (!CopyName(keyBuffer_, fileName)) BtrieveErrorText(B_FILENAME_BAD, fileName);
  uint32_t length = kStatAreaSize;
  Issue(B_CREATE, statArea_, length, keyBuffer_, kFullKeyLength, 0);
  if (status_ != B_NO_ERROR) BtrieveError(status_);
}

void TWinBtr::Create(std::string_view fileName, const void* definition, size_t length, bool replace) {
  if (!CopyName(keyBuffer_, fileName)) BtrieveErrorText(B_FILENAME_BAD, fileName);
  // The record manager reads the buffer only; a copy keeps the caller's const.
  std::vector<uint8_t> buffer(static_cast<const uint8_t*>(definition),
                              static_cast<const uint8_t*>(definition) + length);
  uint32_t callLength = static_cast<uint32_t>(buffer.size());
  Issue(B_CREATE, buffer.data(), callLength, keyBuffer_, kFullKeyLength, replace ? 0 : -1);
  if (status_ != B_NO_ERROR) BtrieveErrorText(status_, fileName);
}

void TWinBtr::StopClient() {
  uint8_t scratch[5] = {};
  uint8_t key[4] = {};
  uint32_t length = sizeof scratch;
  Issue(B_STOP, scratch, length, key, 0, 0);
}

void TWinBtr::SetDirectory(std::string_view path) {
  if (!CopyName(keyBuffer_, path)) BtrieveErrorText(B_FILENAME_BAD, path);
  Call(B_SET_DIR);
}

void TWinBtr::GetDirectory(char* buffer, int32_t size) {
  keyNumber_ = 0;
  ClearKey(size);
  Call(B_GET_DIR);
  if (buffer == nullptr || size <= 0) return;
  const size_t limit = std::min(static_cast<size_t>(size) - 1, kBtrKeyBufferSize - 1);
  const auto* key = reinterpret_cast<const char*>(keyBuffer_);
  const size_t length = std::find(key, key + limit, '\0') - key;
  std::memcpy(buffer, key, length);
  buffer[length] = '\0';
}

// ---- Stat data ----

void TWinBtr::Stat() {
  KeyNumberGuard guard(keyNumber_);
  keyNumber_ = kNoKeyNumber;
  uint32_t length = kStatAreaSize;
  Issue(B_STAT, statArea_, length, keyBuffer_, kFullKeyLength, keyNumber_);
  if (status_ != B_NO_ERROR && status_ != B_DATALENGTH_ERROR) BtrieveError(status_);
}

void TWinBtr::GetStat(uint8_t* dest) {
  Stat();
  if (dest != nullptr) std::memcpy(dest, statArea_, kStatAreaSize);
}

StatFileSpec TWinBtr::FileSpec() const {
  StatFileSpec layout;
  std::memcpy(&layout, statArea_, sizeof layout);
  return layout;
}

int32_t TWinBtr::GetRecordLength() {
  if (!isOpen_) return 0;
  if (FileSpec().RecordLength == 0) Stat();
  return static_cast<int16_t>(FileSpec().RecordLength);
}

int32_t TWinBtr::GetRecordCount() {
  if (!isOpen_) return 0;
  Stat();
  return static_cast<int32_t>(FileSpec().RecordCount);
}

int16_t TWinBtr::GetKeyCount() {
  if (!isOpen_) return 0;
  Stat();
  return FileSpec().KeyCount;
}

int16_t TWinBtr::GetPageSize() {
  if (!isOpen_) return 0;
  if (FileSpec().RecordLength == 0) Stat();
  return static_cast<int16_t>(FileSpec().PageSize);
}

template <class T, class F>
T TWinBtr::ZeroOnBtrieveError(F&& read) {
  try {
    return read();
  } catch (const EBtrieveEngineError&) {
    return 0;
  }
}

int32_t TWinBtr::RecordCount() {
  return ZeroOnBtrieveError<int32_t>([this] { return GetRecordCount(); });
}

int16_t TWinBtr::KeyCount() {
  return ZeroOnBtrieveError<int16_t>([this] { return GetKeyCount(); });
}

size_t TWinBtr::KeySegmentOffset(const uint8_t* area, size_t areaSize, int keyNumber) {
  StatFileSpec layout;
  std::memcpy(&layout, area, sizeof layout);
  if (keyNumber < 0 || keyNumber > layout.KeyCount) return kNoSegment;
  int key = 0;
  for (size_t i = 0; i <= kSegmentSpecCount; ++i) {
    const size_t offset = sizeof(StatFileSpec) + i * sizeof(KeySegmentSpec);
    if (offset > areaSize) break;
    if (key == keyNumber) return offset;
    if (i == kSegmentSpecCount || offset + sizeof(KeySegmentSpec) > areaSize) break;
    if ((SegmentAt(area, offset).Flags & kKeyFlagSegmented) == 0) ++key;
  }
  return kNoSegment;
}

bool TWinBtr::KeyUsesACS() {
  if (keyNumber_ >= FileSpec().KeyCount) return false;
  const size_t offset = KeySegmentOffset(statArea_, kStatAreaSize, keyNumber_);
  return offset != kNoSegment && offset + sizeof(KeySegmentSpec) <= kStatAreaSize &&
         (SegmentAt(statArea_, offset).Flags & kKeyFlagAltCollation) != 0;
}

void TWinBtr::GetACS(uint8_t* dest) {
  const size_t size =
      static_cast<size_t>(std::max<int16_t>(FileSpec().KeyCount, 0)) * kAcsDefinitionSize +
      kStatAreaSize;
  std::vector<uint8_t> area(size);
  {
    KeyNumberGuard guard(keyNumber_);
    keyNumber_ = kNoKeyNumber;
    uint32_t length = static_cast<uint32_t>(size);
    Issue(B_STAT, area.data(), length, keyBuffer_, kFullKeyLength, keyNumber_);
    if (status_ != B_NO_ERROR && status_ != B_DATALENGTH_ERROR) BtrieveError(status_);
  }
  StatFileSpec layout;
  std::memcpy(&layout, area.data(), sizeof layout);
  const size_t first =
      keyNumber_ < layout.KeyCount ? KeySegmentOffset(area.data(), size, keyNumber_) : kNoSegment;
  // The definitions follow the segment definition that ends the last key.
  const size_t end = KeySegmentOffset(area.data(), size, layout.KeyCount);
  if (first == kNoSegment || end == kNoSegment || first + sizeof(KeySegmentSpec) > size)
    BtrieveError(B_INVALID_ALT_SEQUENCE_DEF);
  const size_t acs = end + SegmentAt(area.data(), first).AcsNumber * kAcsDefinitionSize;
  if (acs + kAcsDefinitionSize > size) BtrieveError(B_INVALID_ALT_SEQUENCE_DEF);
  if (dest != nullptr) std::memcpy(dest, area.data() + acs, kAcsDefinitionSize);
}

}  // namespace vader
