#pragma once
// The DDF data dictionary as the driver reads it: the record layouts of FILE.DDF and
// FIELDEXT.DDF (FIELD.DDF's is DictionaryField), the table-list record, and the two list
// cursors over the dictionary files: the tables of a database (TBtrTblListTable) and the fields
// of one table (TBtrFieldListTable).
//
// Dictionaries in the wild differ: FILE.DDF records of 87 bytes (older tools wrote no reserved
// tail), files with or without the owner name, names padded with blanks or NULs, text in the
// OEM code page. All of them are read; a file whose records are too short to hold an entry is
// refused with an engine error naming it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "btrieve/BtrTable.h"
#include "btrieve/BtrTypes.h"
#include "btrieve/BtrWObj.h"

namespace vader {

constexpr char kFileDdf[] = "FILE.DDF";
constexpr char kFieldDdf[] = "FIELD.DDF";
constexpr char kIndexDdf[] = "INDEX.DDF";
constexpr char kFieldExtDdf[] = "FIELDEXT.DDF";
// The owner name the driver opens the dictionary files with.
constexpr char kDictionaryOwner[] = "..RV....";

// The table is one of the dictionary's own files.
constexpr uint8_t kFileFlagDictionary = 0x10;
// Shortest FILE.DDF record that holds a whole entry (without the reserved tail).
constexpr size_t kMinFileRecordSize = 87;

constexpr uint16_t DBIERR_FILECORRUPT = 0x2302;

// Status of a table the dictionary does not define.
constexpr int16_t B_TABLE_NOT_DEFINED = 204;

#pragma pack(push, 1)
// One FILE.DDF record.
struct DictionaryFile {
  uint16_t TableId;
  char Name[20];
  char Location[64];
  uint8_t Flags;
  uint8_t Reserved[10];
};

// One FIELDEXT.DDF record: a data type that replaces a field's Btrieve data type.
struct DictionaryFieldExt {
  uint16_t TableId;
  uint16_t FieldId;
  uint16_t DataType;
};

// One record of a table list; the extended form carries the entry's id and flags after it.
struct TableListRecord {
  char Name[261];
  char FileName[261];
  uint8_t Reserved[52];
};
struct ExtendedTableListRecord {
  TableListRecord Base;
  uint16_t TableId;
  uint8_t Flags;
  uint8_t Reserved[49];
};
#pragma pack(pop)

static_assert(sizeof(DictionaryFile) == kBtrDriverDataSize);
static_assert(offsetof(DictionaryFile, Location) == 22);
static_assert(offsetof(DictionaryFile, Flags) == 86);
static_assert(sizeof(DictionaryFieldExt) == 6);
static_assert(sizeof(TableListRecord) == 574);
static_assert(offsetof(TableListRecord, FileName) == 261);
static_assert(sizeof(ExtendedTableListRecord) == 626);

// The text of a padded dictionary name: up to the first NUL, without surrounding blanks.
std::string DictionaryText(const char* field, size_t size);
template <size_t N>
std::string DictionaryText(const char (&field)[N]) {
  return DictionaryText(field, N);
}

// A FIELD.DDF record of a field: `name` (at most 20 characters, NUL-padded), type, offset and
// size; ids, decimals and flags zero.
DictionaryField MakeDictionaryField(std::string_view name, uint8_t type, uint16_t offset,
                                    uint16_t size);

// Dictionary names (text in CodePage, the database's) compared as the user's locale compares
// them, ignoring case.
bool SameDictionaryName(std::string_view a, std::string_view b, const std::string& codePage);

// Path helpers for names that may use either separator ("\" from Windows callers, "/" here).
bool IsSeparator(char c);
// A name that is a path rather than a table or alias name: it holds a drive colon, a
// separator or a dot (a file name with its extension).
bool IsBtrievePath(std::string_view name);
// `directory` with a separator after it when it has none (the one it already uses, else "\").
std::string WithSeparator(std::string_view directory);
// Everything up to and including the last separator (or drive colon); empty when none.
std::string DirectoryPart(std::string_view path);
// The name after the last separator or drive colon.
std::string FileNamePart(std::string_view path);

// The list of the tables of a database: FILE.DDF in the database directory.
class TBtrTblListTable : public TBtrTable {
 public:
  TBtrTblListTable(TBapiListItem* database, TVaderCollection* collection,
                   const std::string& directory, const uint8_t* clientId, bool extended,
                   bool withSystemTables, std::string_view owner = kDictionaryOwner);

  bool Extended() const { return extended_; }

  uint32_t GetRecordSize() const override {
    return extended_ ? sizeof(ExtendedTableListRecord) : sizeof(TableListRecord);
  }
  // Opens FILE.DDF; the list's records are described by the fields szName and szFileName
  // (and iTableId, iFlags in the extended form).
  void OpenCursor() override;
  void GetCursorProps(CursorProps& props) override;
  // The next entry (skipping the dictionary's own tables unless they are listed) as the
  // 97-byte FILE.DDF record; a shorter record is zero-filled.
  virtual void ReadNextEntry(TMoveDirection direction, DictionaryFile& entry);
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;

 private:
  bool extended_;
  bool withSystemTables_;
};

// The fields of one table: its FIELD.DDF records, read on key 1 (table id), with the
// FIELDEXT.DDF overrides applied.
class TBtrFieldListTable : public TBtrTable {
 public:
  TBtrFieldListTable(TBapiListItem* database, TVaderCollection* collection,
                     const std::string& directory, const uint8_t* clientId,
                     const DictionaryFile& table, std::string_view owner = kDictionaryOwner);
  ~TBtrFieldListTable() override;

  const DictionaryFile& FileRecord() const { return fileRecord_; }
  bool HasFieldExtensions() const { return fieldExt_ && fieldExt_->IsOpen(); }

  uint32_t GetRecordSize() const override { return sizeof(FieldDesc); }
  // Opens FIELD.DDF on key 1 and FIELDEXT.DDF when there is one; the list's records are
  // described by the leading fields of a descriptor (iFldNum, szName, iFldType ... iLen).
  void OpenCursor() override;
  void GetCursorProps(CursorProps& props) override;
  void CloseCursor() override;
  void SetToBegin() override;
  // The next field record of the table (fields of size 0 are skipped); EVaderEOFError after
  // the last.
  virtual void ReadNextEntry(TMoveDirection direction, DictionaryField& entry);
  // The next field's descriptor, numbered 1, 2, 3 ... as the table numbers its fields.
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void GetRecordCount(uint32_t& n) override;
  // The table-id test ends the list; a partial lookup needs no key comparison.
  void CheckKeyMatch(uint16_t, uint16_t, const uint8_t*, const uint8_t*, uint16_t) override {}

 private:
  void ApplyFieldExtension(DictionaryField& entry);

  DictionaryFile fileRecord_;
  std::string fieldExtPath_;
  std::string owner_;
  std::unique_ptr<TWinBtr> fieldExt_;
  uint16_t fieldNumber_ = 0;
  bool started_ = false;
};

}  // namespace vader
