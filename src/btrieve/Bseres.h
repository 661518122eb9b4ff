#pragma once
// Table-definition resources: tables whose field layout is built into the program instead of
// being read from a DDF dictionary. A resource is a named RCDATA block (see platform/Resources.h)
// of the executable or of the driver's module:
//
//   a length-prefixed title; the format version as four digits and a NUL ("0002");
//   field records; "ABCD" and a NUL.
//
// A version-2 field record is packed, 16-bit values little-endian: field number, name length
// (1 byte), name, engine type, engine subtype, units 1, units 2, offset, length, native type,
// native size. TTblResReader reads one into a table's field cache; TResFieldListTable lists the
// fields of a resource table.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "btrieve/BtrTypes.h"
#include "engine/BseTable.h"
#include "platform/Resources.h"

namespace vader {

constexpr uint16_t kTableResourceVersion = 2;

// The module that holds the driver, for resources the driver's own code registers.
platform::ResourceModule DriverResourceModule();

// A version-2 resource of `fields` (FieldNumber, FieldName, FieldType, FieldSubType, the units,
// FieldOffset, FieldLength, and LocalType / LocalSize as the native type and size).
std::vector<uint8_t> BuildTableResource(std::string_view title, std::span<const FieldDesc> fields);
// The resource of a table described by FIELD.DDF records: fields of size 0 are left out, the
// others numbered 1, 2, 3 ...; engine types as the dictionary path gives them.
std::vector<uint8_t> TableResourceFromDictionary(std::string_view title,
                                                 std::span<const DictionaryField> fields);

class TTblResBase {
 public:
  virtual ~TTblResBase() = default;
};

// Reads one table-definition resource into a table's field cache.
class TTblResReader : public TTblResBase {
 public:
  explicit TTblResReader(TBaseTable& table) : table_(table) {}

  // Looks for resource `name` in the executable, then in the driver's module. False when it is
  // missing or of an unknown version (nothing is read); true after a version-2 resource, whose
  // fields replace the cache's. A version-1 resource is reported once, the application is asked
  // to terminate, and nothing is read (true). A version-2 resource that ends inside a field
  // record or before its end mark raises DBIERR_INVALIDRECSTRUCT and leaves the cache empty.
  bool ReadDefinition(const char* name);

 private:
  TBaseTable& table_;
};

// The fields of a resource table, one 62-byte descriptor per record.
class TResFieldListTable : public TBaseTable {
 public:
  TResFieldListTable(TBapiListItem* database, TVaderCollection* collection,
                     const char* resourceName);

  uint32_t GetRecordSize() const override { return sizeof(FieldDesc); }
  // DBIERR_INVALIDPARAM when the resource gave no fields.
  void OpenCursor() override;
  void SetToBegin() override;
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void GetRecordCount(uint32_t& n) override { n = static_cast<uint32_t>(FieldCache().Count()); }

 private:
  int next_ = 0;
};

}  // namespace vader
