#pragma once
// A dataset over rows kept in memory, for testing the dataset abstraction and the controls
// built on it. Each row is an image of the fields' native values, each preceded by a
// presence byte; a record buffer holds the image, the row's id (its bookmark) and the
// bookmark flag. Blob fields keep up to kBlobCapacity bytes inline.

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/DB.h"
#include "framework/DBConsts.h"
#include "framework/FrameworkErrors.h"

namespace vader::testing {

class TMemoryDataSet : public TDataSet {
 public:
  static constexpr std::size_t kBlobCapacity = 64;

  explicit TMemoryDataSet(TComponent* owner = nullptr) : TDataSet(owner) {}
  ~TMemoryDataSet() override { Close(); }

  bool readOnly = false;
  mutable int getRecordCalls = 0;

  // Appends a row straight to the storage (values by field definition, nullopt = null).
  void AddRow(const std::vector<TValue>& values) {
    if (offsets_.empty()) ComputeLayout();
    std::vector<std::uint8_t> image(imageSize_, 0);
    for (std::size_t i = 0; i < values.size() && i < FieldDefs().size(); ++i)
      Encode(FieldDefs()[i], values[i], image.data() + offsets_[i]);
    rows_.push_back({nextId_++, std::move(image)});
  }
  int StoredRows() const { return static_cast<int>(rows_.size()); }
  void RemoveStoredRow(int index) { rows_.erase(rows_.begin() + index); }

  bool CanModify() const override { return !readOnly; }
  int RecordCount() override { return static_cast<int>(rows_.size()); }

  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool InternalBookmarkValid(const TBookmark& bookmark) override {
    try {
      IndexOf(bookmark);
      return true;
    } catch (const EDatabaseError&) {
      return false;
    }
  }

 protected:
  void InternalOpen() override {
    ComputeLayout();
    pos_ = -1;
  }
  void InternalClose() override {}
  std::size_t RecordBufferSize() const override { return imageSize_ + 5; }
  void InternalFirst() override { pos_ = -1; }
  void InternalLast() override { pos_ = static_cast<int>(rows_.size()); }

  TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool) override {
    ++getRecordCalls;
    int p = pos_;
    const int n = static_cast<int>(rows_.size());
    for (;;) {
      if (mode == TGetMode::gmNext) p = std::max(p, -1) + 1;
      if (mode == TGetMode::gmPrior) p = std::min(p, n) - 1;
      if (p < 0 || p >= n) {
        if (mode == TGetMode::gmCurrent) return TGetResult::grError;
        pos_ = p < 0 ? -1 : n;
        return p < 0 ? TGetResult::grBOF : TGetResult::grEOF;
      }
      const Row& row = rows_[static_cast<std::size_t>(p)];
      std::memcpy(buffer.data.data(), row.image.data(), imageSize_);
      std::memcpy(buffer.data.data() + imageSize_, &row.id, 4);
      buffer.data[imageSize_ + 4] = static_cast<std::uint8_t>(TBookmarkFlag::bfCurrent);
      if (!Filtered() || FilterAccepts(buffer)) {
        pos_ = p;
        return TGetResult::grOK;
      }
      if (mode == TGetMode::gmCurrent) return TGetResult::grError;
    }
  }

  void InternalInitRecord(TRecordBuffer& buffer) override {
    std::fill(buffer.data.begin(), buffer.data.end(), 0);
  }
  TBookmark GetBookmarkData(const TRecordBuffer& buffer) const override {
    return TBookmark(reinterpret_cast<const char*>(buffer.data.data() + imageSize_), 4);
  }
  void SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) override {
    std::memcpy(buffer.data.data() + imageSize_, bookmark.data(),
                std::min<std::size_t>(4, bookmark.size()));
  }
  TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override {
    return static_cast<TBookmarkFlag>(buffer.data[imageSize_ + 4]);
  }
  void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override {
    buffer.data[imageSize_ + 4] = static_cast<std::uint8_t>(flag);
  }
  void InternalGotoBookmark(const TBookmark& bookmark) override { pos_ = IndexOf(bookmark); }
  bool GetFieldData(const TField* field, const TRecordBuffer& buffer, void* dest) const override {
    const std::size_t at = Offset(field);
    if (buffer.data[at] == 0) return false;
    if (dest)
      std::memcpy(dest, buffer.data.data() + at + 1, std::min(field->DataSize(), Width(field)));
    return true;
  }
  void SetFieldData(TField* field, TRecordBuffer& buffer, const void* source) override {
    const std::size_t at = Offset(field);
    buffer.data[at] = source ? 1 : 0;
    std::fill_n(buffer.data.begin() + static_cast<std::ptrdiff_t>(at + 1), Width(field), 0);
    if (source)
      std::memcpy(buffer.data.data() + at + 1, source, std::min(field->DataSize(), Width(field)));
  }

  void InternalPost() override {
    TRecordBuffer& buffer = *ActiveBuffer();
    std::vector<std::uint8_t> image(buffer.data.begin(),
                                    buffer.data.begin() + static_cast<std::ptrdiff_t>(imageSize_));
    if (State() == TDataSetState::dsEdit) {
      pos_ = IndexOf(GetBookmarkData(buffer));
      rows_[static_cast<std::size_t>(pos_)].image = std::move(image);
      return;
    }
    const bool append = GetBookmarkFlag(buffer) == TBookmarkFlag::bfEOF;
    const int n = static_cast<int>(rows_.size());
    const int at = append ? n : std::clamp(pos_, 0, n);
    rows_.insert(rows_.begin() + at, Row{nextId_++, std::move(image)});
    pos_ = at;
  }
  void InternalDelete() override {
    if (pos_ < 0 || pos_ >= static_cast<int>(rows_.size())) DatabaseError("Record not found", this);
    rows_.erase(rows_.begin() + pos_);
  }

 private:
  struct Row {
    std::int32_t id;
    std::vector<std::uint8_t> image;
  };

  static std::size_t DefWidth(const TFieldDef& def) {
    using T = TFieldType;
    switch (def.dataType) {
      case T::ftString:
      case T::ftFixedChar:
        return static_cast<std::size_t>(def.size) + 1;
      case T::ftSmallint:
      case T::ftWord:
      case T::ftBoolean:
        return 2;
      case T::ftInteger:
      case T::ftAutoInc:
      case T::ftDate:
      case T::ftTime:
        return 4;
      case T::ftBytes:
        return static_cast<std::size_t>(def.size);
      case T::ftVarBytes:
        return static_cast<std::size_t>(def.size) + 2;
      default:
        return IsBlobType(def.dataType) ? 4 + kBlobCapacity : 8;
    }
  }

  void ComputeLayout() {
    offsets_.clear();
    widths_.clear();
    imageSize_ = 0;
    for (const TFieldDef& def : FieldDefs()) {
      offsets_.push_back(imageSize_);
      widths_.push_back(DefWidth(def));
      imageSize_ += 1 + DefWidth(def);
    }
  }

  std::size_t Offset(const TField* field) const {
    return offsets_.at(static_cast<std::size_t>(field->FieldNo() - 1));
  }
  std::size_t Width(const TField* field) const {
    return widths_.at(static_cast<std::size_t>(field->FieldNo() - 1));
  }

  int IndexOf(const TBookmark& bookmark) const {
    std::int32_t id = -1;
    if (bookmark.size() == 4) std::memcpy(&id, bookmark.data(), 4);
    for (std::size_t i = 0; i < rows_.size(); ++i)
      if (rows_[i].id == id) return static_cast<int>(i);
    DatabaseError("Record not found", this);
  }

  static void Encode(const TFieldDef& def, const TValue& value, std::uint8_t* at) {
    if (std::holds_alternative<std::monostate>(value)) return;
    at[0] = 1;
    auto put = [&](auto v) { std::memcpy(at + 1, &v, sizeof v); };
    using T = TFieldType;
    switch (def.dataType) {
      case T::ftString:
      case T::ftFixedChar:
      case T::ftBytes: {
        const std::string& s = std::get<std::string>(value);
        std::memcpy(at + 1, s.data(), std::min(s.size(), static_cast<std::size_t>(def.size)));
        break;
      }
      case T::ftSmallint:
        put(static_cast<std::int16_t>(std::get<std::int64_t>(value)));
        break;
      case T::ftWord:
        put(static_cast<std::uint16_t>(std::get<std::int64_t>(value)));
        break;
      case T::ftBoolean:
        put(static_cast<std::int16_t>(std::get<bool>(value) ? -1 : 0));
        break;
      case T::ftInteger:
      case T::ftAutoInc:
      case T::ftDate:
      case T::ftTime:
        put(static_cast<std::int32_t>(std::get<std::int64_t>(value)));
        break;
      case T::ftLargeint:
        put(std::get<std::int64_t>(value));
        break;
      default:
        if (IsBlobType(def.dataType)) {
          const std::string& s = std::get<std::string>(value);
          const auto n = static_cast<std::uint32_t>(std::min(s.size(), kBlobCapacity));
          std::memcpy(at + 1, &n, 4);
          std::memcpy(at + 5, s.data(), n);
        } else {
          put(std::get<double>(value));
        }
    }
  }

  friend class TMemoryBlobStream;
  std::vector<Row> rows_;
  std::vector<std::size_t> offsets_, widths_;
  std::size_t imageSize_ = 0;
  std::int32_t nextId_ = 1;
  int pos_ = -1;
};

// The inline blob area of one field in the current record buffer.
class TMemoryBlobStream : public TStream {
 public:
  TMemoryBlobStream(std::uint8_t* area, bool writable) : area_(area), writable_(writable) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = std::clamp<std::int64_t>(Size() - pos_, 0, count);
    std::memcpy(buffer, area_ + 5 + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (!writable_) return 0;
    const auto cap = static_cast<std::int64_t>(TMemoryDataSet::kBlobCapacity);
    const std::int64_t n = std::clamp<std::int64_t>(cap - pos_, 0, count);
    std::memcpy(area_ + 5 + pos_, buffer, static_cast<std::size_t>(n));
    pos_ += n;
    SetLength(std::max(Size(), pos_));
    return n;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    pos_ = origin == TSeekOrigin::soBeginning ? offset
           : origin == TSeekOrigin::soCurrent ? pos_ + offset
                                              : Size() + offset;
    return pos_;
  }
  std::int64_t Size() override {
    std::uint32_t n = 0;
    std::memcpy(&n, area_ + 1, 4);
    return n;
  }
  void Truncate() override {
    if (writable_) SetLength(std::min(Size(), pos_));
  }

 private:
  void SetLength(std::int64_t n) {
    const auto length = static_cast<std::uint32_t>(n);
    std::memcpy(area_ + 1, &length, 4);
    area_[0] = length > 0 ? 1 : 0;
  }
  std::uint8_t* area_;
  bool writable_;
  std::int64_t pos_ = 0;
};

inline std::unique_ptr<TStream> TMemoryDataSet::CreateBlobStream(TField* field,
                                                                 TBlobStreamMode mode) {
  if (!IsBlobType(field->DataType())) return TDataSet::CreateBlobStream(field, mode);
  TRecordBuffer* buffer = CurrentRecordBuffer();
  if (!buffer) return nullptr;
  const bool writable = mode != TBlobStreamMode::bmRead;
  if (writable && State() != TDataSetState::dsEdit && State() != TDataSetState::dsInsert)
    DatabaseError(dbconsts::SNotEditing, this);
  auto stream = std::make_unique<TMemoryBlobStream>(buffer->data.data() + Offset(field), writable);
  if (mode == TBlobStreamMode::bmWrite) stream->Truncate();
  return stream;
}

}  // namespace vader::testing
