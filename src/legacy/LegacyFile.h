#pragma once
// Read-only access to data files written by real Btrieve engines: the pre-6.0 format (levels 3,
// 4 and 5) and the 6.0 / 6.1 format. The whole file is held in memory and every structure is
// checked against its bounds before use; a file that cannot be read raises LegacyError naming
// the file and the reason. Nothing here depends on the record manager.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vader::legacy {

// A file that cannot be read (not a Btrieve file, a feature this reader does not decode, or a
// damaged structure). what() is "<file>: <reason>".
class LegacyError : public std::runtime_error {
 public:
  LegacyError(const std::string& file, const std::string& reason);
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

enum class Format { kPre6, kV6 };

// Key flag bits as the files store them.
enum LegacyKeyFlag : uint16_t {
  kDuplicates = 0x0001,
  kModifiable = 0x0002,
  kBinary = 0x0004,
  kNullAll = 0x0008,
  kSegmented = 0x0010,
  kAlternate = 0x0020,
  kDescending = 0x0040,
  kRepeating = 0x0080,
  kExtended = 0x0100,
  kNullAny = 0x0200,
  kNoCase = 0x0400,
};

// File flag bits of the control record.
enum LegacyFileFlag : uint16_t {
  kVariable = 0x0001,
  kBlankTruncation = 0x0002,
  kCompression = 0x0008,
  kKeyOnly = 0x0010,
  kVats = 0x0800,
};

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kAcsBlockSize = 265;  // signature, 8-byte name, 256-byte table

struct SegmentSpec {
  uint16_t offset = 0;  // 0-based offset in the record
  uint16_t length = 0;
  uint16_t flags = 0;  // as stored, the "another segment follows" bit included
  uint8_t type = 0;    // extended type byte (used when kExtended is set)
  uint8_t nullValue = 0;
  int acs = -1;  // index into FileInfo::acs; -1 when the segment uses none
};

struct KeySpec {
  int number = 0;
  std::vector<SegmentSpec> segments;
  uint32_t uniqueValues = 0;
  uint32_t root = kNone;     // root index page (physical before 6.0, logical in 6.x)
  uint16_t entryLength = 0;  // bytes per index entry
  uint16_t chainOffset = 0;  // linked duplicates: offset of the pointer pair in the slot

  uint16_t Flags() const { return segments.front().flags; }
  bool LinkedDuplicates() const { return (Flags() & kDuplicates) && !(Flags() & kRepeating); }
  size_t Length() const;
};

struct AcsTable {
  uint32_t page = 0;         // the page it was read from
  std::string block;         // kAcsBlockSize bytes
  std::string Name() const;  // trailing blanks removed
};

struct FileInfo {
  Format format = Format::kPre6;
  uint16_t version = 0;  // format level (0x0300..0x0500) or version word (0x0600, 0x0610)
  uint16_t pageSize = 0;
  uint16_t recordLength = 0;    // fixed part as applications see it
  uint16_t physicalLength = 0;  // slot size
  uint16_t fileFlags = 0;
  uint32_t records = 0;  // the control record's count
  uint32_t pages = 0;    // the control record's page count
  bool ownerProtected = false;
  int controlPage = 0;  // physical page of the current control record
  uint8_t reservedDuplicatePointers = 0;
  std::string acsName;  // the file's ACS name from the control record, blanks removed
  std::vector<KeySpec> keys;
  std::vector<AcsTable> acs;

  bool Variable() const { return fileFlags & kVariable; }
};

class LegacyFile {
 public:
  // Reads the file at `path` whole; throws LegacyError.
  static LegacyFile Open(const std::string& path);
  // Parses `bytes` as a file called `name` (what error messages show).
  LegacyFile(std::string name, std::string bytes);

  const std::string& Name() const { return name_; }
  const FileInfo& Info() const { return info_; }

  // The address of every live record in physical order (page by page, slot by slot), with
  // deleted slots, never-used slots and free pages skipped. The address is what the original
  // engine's indexes hold: the file offset before 6.0, logical page × page size + slot offset
  // in 6.x.
  const std::vector<uint32_t>& Addresses() const { return addresses_; }
  // The record at `address`: the fixed part followed by its variable tail.
  std::string Record(uint32_t address) const;
  // The records of key `index` (into Info().keys) in the order of the original index, read
  // from its pages; duplicates follow their chains. Records a null key leaves out are absent.
  std::vector<uint32_t> IndexOrder(size_t index) const;

  // An order of Addresses() in which inserting the records gives every key's duplicates in
  // the original order. `conflicts` receives how many records could not be placed so (their
  // keys' duplicate orders contradict each other).
  std::vector<uint32_t> InsertionOrder(size_t& conflicts) const;

  // Reads every record and every index once, so that a file that opens is known to be
  // readable through and through; throws LegacyError on the first problem.
  void Verify() const;

 private:
  struct PageRef {
    const uint8_t* data;
    uint32_t physical;
  };

  [[noreturn]] void Fail(const std::string& reason) const;
  PageRef Physical(uint32_t page, const char* what) const;
  // A logical page of a 6.x file through the current page allocation table, checked to have
  // type `type` (0 accepts any); before 6.0 the page itself.
  PageRef Logical(uint32_t page, int type, const char* what) const;
  // The allocation table entry [high][type][low][middle] of a logical page of a 6.x file.
  const uint8_t* TableEntry(uint32_t page, const char* what) const;
  const uint8_t* Slot(uint32_t address) const;

  void ReadControlRecord();
  void ReadPre6Header(const uint8_t* fcr);
  void ReadV6Header(const uint8_t* fcr);
  void ReadKeys(const uint8_t* fcr);
  void ReadAcs();
  void CheckSlotLayout();
  void FindRecords();
  void FindRecordsPre6();
  void FindRecordsV6();
  std::string Tail(const uint8_t* pointer) const;
  // The index entries of key `index` in order, each a group of records with one key value
  // (a linked duplicate chain, or equal keys of consecutive repeating entries).
  std::vector<std::vector<uint32_t>> IndexGroups(size_t index) const;
  struct Walk;
  void WalkIndex(const KeySpec& key, uint32_t page, int depth, Walk& walk) const;
  void AppendEntry(const KeySpec& key, const uint8_t* entry, Walk& walk) const;
  bool Live(uint32_t address) const;

  std::string name_;
  std::string bytes_;
  FileInfo info_;
  uint32_t physicalPages_ = 0;
  std::vector<uint32_t> patPages_;   // current allocation table of each pair (6.x)
  std::vector<uint32_t> addresses_;  // ascending within each page; see Addresses()
  std::vector<uint32_t> sortedAddresses_;
  uint32_t lastDataPage_ = kNone;  // before 6.0: the page that may hold never-used slots
  uint16_t lastPageFree_ = 0;
};

}  // namespace vader::legacy
