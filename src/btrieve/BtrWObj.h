#pragma once
// TWinBtr: one open Btrieve file. It owns the file's position block, key buffer, record buffer
// and a cached copy of its Stat data, issues every operation on the file and turns each
// non-zero status into an exception (status 9 into the end-of-file error).

#include <cstdint>
#include <memory>
#include <string_view>

#include "btrieve/BtrTypes.h"

namespace vader {

class TWinBtr {
 public:
  // With a client identifier, operations go through BTRCALLID; otherwise through BTRCALL.
  explicit TWinBtr(const uint8_t* clientId = nullptr);
  ~TWinBtr();
  TWinBtr(const TWinBtr&) = delete;
  TWinBtr& operator=(const TWinBtr&) = delete;

  // Opens `fileName` (closing a file open on this object first); the record buffer is sized to
  // the record length. A failure carries the file name as extra text.
  void Open(std::string_view fileName, std::string_view ownerName = {}, int8_t openMode = 0);
  void Close();
  bool IsOpen() const { return isOpen_; }

  // Record buffer.
  void SetBufferSize(int32_t size);
  void FreeBuffer();
  uint8_t* Buffer() const { return buffer_.get(); }
  int32_t BufferSize() const { return bufferSize_; }
  // The next Call reads and writes `data` (at least BufferSize bytes) instead of Buffer.
  void UseDataBuffer(uint8_t* data);
  // Length the next Insert or Update sends; taking it resets it to BufferSize.
  void SetDataLength(int32_t length) { dataLength_ = length; }
  int32_t TakeDataLength();
  int32_t CallLength() const { return callLength_; }

  // Status of the last operation; 22 reads as 0 while AcceptShortBuffer is set.
  int16_t GetStatus();
  bool StatusOK() { return GetStatus() == 0; }
  bool AcceptShortBuffer() const { return acceptShortBuffer_; }
  void SetAcceptShortBuffer(bool accept) { acceptShortBuffer_ = accept; }

  // Operations.
  void Call(uint16_t operation);
  void CallDirect(uint16_t operation, void* data, int32_t length);
  void GetFirst();
  void GetLast();
  void GetNext();
  void GetPrev();
  void GetByKey(uint16_t operation, const void* key, int8_t keyNumber, int32_t keyLength);
  void GetEqual(const void* key, int32_t keyLength, int8_t keyNumber);
  void Insert();
  void Update();
  void Delete();
  void NoLock() { lockBias_ = 0; }
  void LockNext() { lockBias_ = 200; }
  void Unlock();
  int32_t GetPosition();
  void GetDirect(int32_t position);
  void GetDirectClean(int32_t position);
  void BeginTransaction(bool concurrent);
  void EndTransaction();
  void AbortTransaction();
  void CreateIndex(const KeySegmentSpec* segments, int32_t segmentCount, int8_t keyNumber);
  void DropIndex(int8_t keyNumber);
  int32_t FindPercentage(bool byKey);
  void GetByPercentage(bool byKey, int32_t percentage);
  void CreateLike(std::string_view fileName);
  // Creates `fileName` from a Create buffer; an existing file is replaced only when `replace`
  // (otherwise status 59).
  void Create(std::string_view fileName, const void* definition, size_t length, bool replace);
  // Never raises; the status is left in GetStatus.
  void StopClient();
  void SetDirectory(std::string_view path);
  // Copies the current directory, NUL-terminated, into `buffer` of `size` bytes.
  void GetDirectory(char* buffer, int32_t size);

  // Stat data.
  void Stat();
  void GetStat(uint8_t* dest);
  int32_t GetRecordLength();
  int32_t GetRecordCount();
  int16_t GetKeyCount();
  int16_t GetPageSize();
  // As GetRecordCount / GetKeyCount, but a Btrieve failure gives 0.
  int32_t RecordCount();
  int16_t KeyCount();
  bool KeyUsesACS();
  // Copies the 265-byte alternate collating sequence of the current key into `dest`.
  void GetACS(uint8_t* dest);
  const uint8_t* StatArea() const { return statArea_; }

  // Key buffer and key path.
  void ClearKey(int32_t length);
  uint8_t* KeyBuffer() { return keyBuffer_; }
  int8_t KeyNumber() const { return keyNumber_; }
  void SetKeyNumber(int8_t keyNumber) { keyNumber_ = keyNumber; }
  bool NoKeys() const { return noKeys_; }

  int16_t LockBias() const { return lockBias_; }
  int32_t LockedPosition() const { return lockedPosition_; }

 private:
  // Issues one operation with the object's position block and key buffer; stores the status.
  int16_t Issue(uint16_t operation, void* data, uint32_t& length, void* key, uint8_t keyLength,
                int8_t keyNumber);
  void RaiseIfFailed();
  uint16_t Direction(const uint16_t (&ops)[2]) const { return ops[noKeys_ ? 1 : 0]; }
  // Offset in a Stat image of the first segment definition of key `keyNumber`; for the key
  // count itself, the end of the key descriptions. kNoSegment when out of range.
  static size_t KeySegmentOffset(const uint8_t* area, size_t areaSize, int keyNumber);
  StatFileSpec FileSpec() const;
  // Runs `read`; a Btrieve failure gives 0 instead of an exception.
  template <class T, class F>
  T ZeroOnBtrieveError(F&& read);

  int16_t status_ = 0;
  int32_t bufferSize_ = 0;
  int32_t dataLength_ = 0;
  int32_t callLength_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* dataPtr_ = nullptr;
  bool isOpen_ = false;
  uint8_t keyBuffer_[kBtrKeyBufferSize] = {};
  uint8_t positionBlock_[kPositionBlockSize] = {};
  alignas(8) uint8_t statArea_[kStatAreaSize] = {};
  int8_t keyNumber_ = 0;
  int16_t lockBias_ = 0;
  int32_t lockedPosition_ = 0;
  bool noKeys_ = false;
  bool acceptShortBuffer_ = false;
  uint8_t clientId_[kClientIdSize] = {};
  bool useClientId_ = false;
};

}  // namespace vader
