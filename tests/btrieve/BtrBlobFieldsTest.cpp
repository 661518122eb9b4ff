// Memo, binary and graphic fields kept inside the fixed record of real files: the blob table,
// reads that always end the value, write-back before inserts and updates, and the variable tail.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BtrTableSupport.h"
#include "common/EngineErrorCode.h"
#include "btrieve/BtrErrs.h"

namespace vader {
namespace {

using testing::Field;
using testing::Segment;

enum : uint16_t { kId = 1, kBinary = 2, kAge = 3, kPicture = 4 };
constexpr uint16_t kMemo = 2;

using testing::ErrorCode;

class BlobFieldsTest : public testing::BtrFileTest {
 protected:
  // ID, then a 200-byte memo as the last field after a 4-byte fixed part.
  TBtrTable& OpenNotes() {
    const std::string path = CreateFile("notes.btr", 4, 1, {Segment(1, 4, BT_INTEGER, 0)}, true);
    return Open(path, {Field("ID", BT_INTEGER, 0, 4), Field("NOTES", BT_NOTE, 4, 200)});
  }

  // ID, a 60-byte binary field, AGE, then a 300-byte graphic field as the last one.
  TBtrTable& OpenPictures() {
    const std::string path = CreateFile("pics.btr", 66, 1, {Segment(1, 4, BT_INTEGER, 0)}, true);
    return Open(path, {Field("ID", BT_INTEGER, 0, 4), Field("BIN222", BT_NOTE, 4, 60),
                       Field("AGE", BT_INTEGER, 64, 2), Field("PIC111", BT_NOTE, 66, 300)});
  }

  std::vector<uint8_t> NewRecord(TBtrTable& t, int32_t id) {
    std::vector<uint8_t> record(t.GetRecordBufferSize());
    t.InitRecord(record.data());
    // The cursor keeps the last record buffer it was given; this one is the caller's to free.
    t.SetRecordBuffer(nullptr);
    t.PutField(kId, record.data(), &id);
    return record;
  }

  std::vector<uint8_t> ReadFirst(TBtrTable& t) {
    std::vector<uint8_t> record(t.GetRecordBufferSize());
    t.SetToBegin();
    t.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
    return record;
  }

  // The whole value of `field`, read in one call.
  std::string ReadBlob(TBtrTable& t, std::vector<uint8_t>& record, uint16_t field) {
    uint32_t size = 0;
    t.GetBlobSize(record.data(), field, size);
    std::string value(size + 16, '?');
    uint32_t read = 0;
    EXPECT_EQ(
        ErrorCode([&] { t.GetBlob(record.data(), field, 0, size + 16, value.data(), read); }),
        DBIERR_ENDOFBLOB);
    EXPECT_EQ(read, size);
    return value.substr(0, read);
  }

  void PutBlob(TBtrTable& t, std::vector<uint8_t>& record, uint16_t field, const std::string& v) {
    t.OpenBlob(record.data(), field, 0);
    t.PutBlob(record.data(), field, 0, static_cast<uint32_t>(v.size()), v.data());
  }
};

TEST_F(BlobFieldsTest, MemoAsLastFieldIsWrittenWithItsTextOnly) {
  TBtrTable& t = OpenNotes();
  ASSERT_EQ(t.BlobCount(), 1);
  std::vector<uint8_t> record = NewRecord(t, 1);
  PutBlob(t, record, kMemo, "0123456789");
  t.InsertRecord(dbiNOLOCK, record.data());
  EXPECT_EQ(t.Btr().CallLength(), t.GetRecordBufferLength() - 189);
  std::vector<uint8_t> read = ReadFirst(t);
  EXPECT_EQ(ReadBlob(t, read, kMemo), "0123456789");

  const std::string full(199, 'x');
  PutBlob(t, read, kMemo, full + "overflow");  // cut to the field
  t.ModifyRecord(read.data(), true);
  EXPECT_EQ(t.Btr().CallLength(), t.GetRecordBufferLength());
  read = ReadFirst(t);
  EXPECT_EQ(read.back(), 0);
  EXPECT_EQ(ReadBlob(t, read, kMemo), full);
}

TEST_F(BlobFieldsTest, BadArgumentsAndOtherFieldsAreRefused) {
  TBtrTable& t = OpenNotes();
  std::vector<uint8_t> record = NewRecord(t, 1);
  char buffer[8];
  uint32_t read = 0;
  EXPECT_EQ(ErrorCode([&] { t.GetBlob(record.data(), kMemo, 0, 0, buffer, read); }),
            DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] { t.GetBlob(record.data(), kMemo, 201, 8, buffer, read); }),
            DBIERR_INVALIDBLOBOFFSET);
  EXPECT_EQ(ErrorCode([&] { t.PutBlob(record.data(), kId, 0, 1, "x"); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] { t.OpenBlob(record.data(), kId, 0); }), DBIERR_NOTABLOB);
}

TEST_F(BlobFieldsTest, BinaryAndGraphicValuesRoundTripAsBlobText) {
  TBtrTable& t = OpenPictures();
  ASSERT_EQ(t.BlobCount(), 2);
  std::vector<uint8_t> record = NewRecord(t, 1);
  const std::string binary("\x00\x01\xFFMan\x00", 7);
  PutBlob(t, record, kBinary, binary);
  PutBlob(t, record, kPicture, std::string(600, '\0'));
  t.InsertRecord(dbiNOLOCK, record.data());
  // "###", "AAAA", 199 repeats and the NUL: 207 bytes of the 300-byte last field.
  EXPECT_EQ(t.Btr().CallLength(), t.GetRecordBufferLength() - 300 + 207);
  std::vector<uint8_t> read = ReadFirst(t);
  EXPECT_EQ(ReadBlob(t, read, kBinary), binary);
  EXPECT_EQ(ReadBlob(t, read, kPicture), std::string(600, '\0'));
  t.TruncateBlob(read.data(), kBinary, 4);
  uint32_t size = 0;
  t.GetBlobSize(read.data(), kBinary, size);
  EXPECT_EQ(size, 4u);
}

TEST_F(BlobFieldsTest, EmptiedBinaryValueDoesNotSurvive) {
  TBtrTable& t = OpenPictures();
  std::vector<uint8_t> record = NewRecord(t, 1);
  PutBlob(t, record, kBinary, "old value");
  t.InsertRecord(dbiNOLOCK, record.data());
  std::vector<uint8_t> read = ReadFirst(t);
  t.PutBlob(read.data(), kBinary, 0, 0, nullptr);
  t.ModifyRecord(read.data(), true);
  read = ReadFirst(t);
  uint32_t size = 99;
  t.GetBlobSize(read.data(), kBinary, size);
  EXPECT_EQ(size, 0u);
}

TEST_F(BlobFieldsTest, ValueLongerThanTheFieldIsRefused) {
  TBtrTable& t = OpenPictures();
  std::vector<uint8_t> record = NewRecord(t, 1);
  std::string value;
  for (int i = 0; i < 45; ++i) value += static_cast<char>(i * 7);  // 63 characters encoded
  PutBlob(t, record, kBinary, value);
  EXPECT_EQ(ErrorCode([&] { t.InsertRecord(dbiNOLOCK, record.data()); }), DBIERR_INVALIDBLOBLEN);
}

TEST_F(BlobFieldsTest, FieldTextThatIsNotBlobText) {
  TBtrTable& t = OpenPictures();
  std::vector<uint8_t> record = NewRecord(t, 1);
  std::memcpy(record.data() + 4, "plain", 6);
  uint32_t size = 0;
  EXPECT_EQ(ErrorCode([&] { t.GetBlobSize(record.data(), kBinary, size); }), DBIERR_BLOBVERSION);
  std::memcpy(record.data() + 4, "###TW*u", 8);
  size = 99;
  t.GetBlobSize(record.data(), kBinary, size);
  EXPECT_EQ(size, 0u);
}

TEST_F(BlobFieldsTest, SeventeenthBlobFieldIsRefused) {
  std::vector<DictionaryField> fields;
  for (uint16_t i = 0; i < 17; ++i) {
    const std::string name = "MEMO" + std::to_string(i);
    fields.push_back(Field(name.c_str(), BT_NOTE, static_cast<uint16_t>(i * 10), 10));
  }
  std::unique_ptr<TBtrTable> t(TBaseTable::Create<TBtrTable>(
      nullptr, nullptr, "MANY", nullptr, kOpenReadWrite, kShareShared, nullptr));
  EXPECT_EQ(ErrorCode([&] { t->LoadFields(fields); }), DBIERR_DRIVERLIMIT);
  fields.pop_back();
  t->LoadFields(fields);
  EXPECT_EQ(t->BlobCount(), 16);
}

}  // namespace
}  // namespace vader
