// The control record, the page allocation tables, key and segment definitions and collating sequences.

#include "legacy/LegacyFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "legacy/LegacyBytes.h"

namespace vader::legacy {
namespace {

constexpr size_t kSegmentSpecSize = 30;
constexpr size_t kFirstSegment = 0x110;
constexpr size_t kMaxSegments = 119;
constexpr uint8_t kAcsSignature = 0xAC;
constexpr uint8_t kCountryAcsSignature = 0xAD;
constexpr uint8_t kTypeAcs = 'A';

std::string Hex(uint32_t value, int digits = 4) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

std::string Trimmed(const uint8_t* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  s = s.substr(0, s.find('\0'));
  const size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? "" : s.substr(0, end + 1);
}

}  // namespace

LegacyError::LegacyError(const std::string& file, const std::string& reason)
    : std::runtime_error(file + ": " + reason), reason_(reason) {}

size_t KeySpec::Length() const {
  size_t n = 0;
  for (const SegmentSpec& s : segments) n += s.length;
  return n;
}

std::string AcsTable::Name() const {
  return block.size() >= 9 ? Trimmed(reinterpret_cast<const uint8_t*>(block.data()) + 1, 8) : "";
}

LegacyFile LegacyFile::Open(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw LegacyError(path, "is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw LegacyError(path, "cannot be opened for reading");
  std::string bytes;
  try {
    // In one read when the size is known: growing the string as it fills costs more than the
    // reading (the in-place reader opens files this way on every open).
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0 && in) {
      bytes.resize(static_cast<size_t>(size));
      in.read(bytes.data(), size);
      if (in.gcount() != size) throw LegacyError(path, "cannot be read");
    } else {
      in.clear();
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  } catch (const LegacyError&) {
    throw;
  } catch (const std::exception& e) {
    throw LegacyError(path, std::string("cannot be read: ") + e.what());
  }
  if (in.bad()) throw LegacyError(path, "cannot be read");
  return LegacyFile(path, std::move(bytes));
}

LegacyFile::LegacyFile(std::string name, std::string bytes)
    : name_(std::move(name)), bytes_(std::move(bytes)) {
  ReadControlRecord();
  CheckSlotLayout();
  ReadAcs();
  FindRecords();
}

void LegacyFile::Fail(const std::string& reason) const { throw LegacyError(name_, reason); }

LegacyFile::PageRef LegacyFile::Physical(uint32_t page, const char* what) const {
  if (page >= physicalPages_)
    Fail(std::string(what) + " is page " + std::to_string(page) + ", beyond the end of the file (" +
         std::to_string(physicalPages_) + " pages): the file is truncated or damaged");
  return {reinterpret_cast<const uint8_t*>(bytes_.data()) + size_t{page} * info_.pageSize, page};
}

const uint8_t* LegacyFile::TableEntry(uint32_t page, const char* what) const {
  if (page == 0 || page >= info_.pages)
    Fail(std::string(what) + " names logical page " + std::to_string(page) +
         ", outside the file's " + std::to_string(info_.pages) + " pages");
  const uint32_t perTable = info_.pageSize / 4u - 2u;
  const uint32_t pair = (page - 1) / perTable;
  const uint32_t local = (page - 1) % perTable + 1;
  if (pair >= patPages_.size())
    Fail(std::string(what) + " names logical page " + std::to_string(page) +
         ", which no page allocation table maps");
  return Physical(patPages_[pair], "a page allocation table").data + 4 + 4 * local;
}

LegacyFile::PageRef LegacyFile::Logical(uint32_t page, int type, const char* what) const {
  if (info_.format == Format::kPre6) return Physical(page, what);
  const uint8_t* entry = TableEntry(page, what);
  if (type >= 0 && entry[1] != type)
    Fail(std::string(what) + " names logical page " + std::to_string(page) +
         ", which the allocation table marks as type " + Hex(entry[1], 2) + ", not " +
         Hex(static_cast<uint32_t>(type), 2));
  const PageRef ref = Physical(PagePointer(entry), what);
  // Free pages (type 0) keep whatever they held; every page in use carries its own pointer.
  if (entry[1] != 0 && (PagePointer(ref.data) != page || ref.data[1] != entry[1]))
    Fail(std::string(what) + ": physical page " + std::to_string(ref.physical) +
         " does not carry the header of logical page " + std::to_string(page));
  return ref;
}

void LegacyFile::ReadControlRecord() {
  if (bytes_.size() < 512)
    Fail("too short to be a Btrieve file (" + std::to_string(bytes_.size()) + " bytes)");
  const auto* p = reinterpret_cast<const uint8_t*>(bytes_.data());
  const bool pre6 = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
  const bool v6 = p[0] == 'F' && p[1] == 'C' && p[2] == 0 && p[3] == 0;
  if (!pre6 && !v6) Fail("not a Btrieve data file (no control record signature)");
  info_.format = pre6 ? Format::kPre6 : Format::kV6;
  info_.pageSize = Word(p + 0x08);
  if (info_.pageSize < 512 || info_.pageSize > 4096 || info_.pageSize % 512 != 0)
    Fail("the page size " + std::to_string(info_.pageSize) + " is not one Btrieve uses");
  if (bytes_.size() % info_.pageSize != 0)
    Fail("the file size " + std::to_string(bytes_.size()) + " is not a whole number of " +
         std::to_string(info_.pageSize) + "-byte pages: the file is truncated");
  physicalPages_ = static_cast<uint32_t>(bytes_.size() / info_.pageSize);
  if (pre6) {
    ReadPre6Header(p);
    return;
  }
  // Two control records: the one with the higher usage count is current.
  const uint8_t* fcr = p;
  if (physicalPages_ < 4)
    Fail("a 6.x file needs at least 4 pages; this one has " + std::to_string(physicalPages_));
  const uint8_t* other = p + info_.pageSize;
  if (other[0] == 'F' && other[1] == 'C' && Word(other + 0x08) == info_.pageSize &&
      Long(other + 4) > Long(p + 4)) {
    fcr = other;
    info_.controlPage = 1;
  }
  ReadV6Header(fcr);
}

void LegacyFile::ReadPre6Header(const uint8_t* fcr) {
  const auto level = static_cast<int16_t>(Word(fcr + 0x06));
  info_.ownerProtected = level < 0;
  for (size_t i = 0x2E; i < 0x38; ++i) info_.ownerProtected |= fcr[i] != 0;
  info_.version = static_cast<uint16_t>(level < 0 ? -level : level);
  if (info_.version != 0x0300 && info_.version != 0x0400 && info_.version != 0x0500)
    Fail("unknown format level " + Hex(info_.version));
  if (Word(fcr + 0x22) == 0xFFFF)
    Fail("its engine left it marked inconsistent; it needs recovery by a Btrieve engine first");
  info_.recordLength = Word(fcr + 0x16);
  info_.physicalLength = Word(fcr + 0x18);
  info_.records = HiLo(fcr + 0x1A);
  lastDataPage_ = HiLo(fcr + 0x1E);
  info_.pages = HiLo(fcr + 0x26);
  lastPageFree_ = Word(fcr + 0x2A);
  info_.fileFlags = Word(fcr + 0x106);
  if (fcr[0x38] == 0xFF) info_.fileFlags |= kVariable;
  if (fcr[0x38] == 0xFD) info_.fileFlags |= kVariable | kBlankTruncation;
  info_.acsName = Trimmed(fcr + 0x3C, 8);
  if (info_.pages > physicalPages_)
    Fail("the control record counts " + std::to_string(info_.pages) + " pages but the file holds " +
         std::to_string(physicalPages_) + ": the file is truncated");
  ReadKeys(fcr);
}

void LegacyFile::ReadV6Header(const uint8_t* fcr) {
  info_.version = Word(fcr + 0x4A);
  if (info_.version >= 0x0700)
    Fail("format version " + Hex(info_.version) + " (7.x or later) is not supported");
  if (info_.version < 0x0600) Fail("unknown format version " + Hex(info_.version));
  info_.recordLength = Word(fcr + 0x16);
  info_.physicalLength = Word(fcr + 0x18);
  info_.records = HiLo(fcr + 0x1A);
  info_.pages = HiLo(fcr + 0x26);
  info_.fileFlags = Word(fcr + 0x106);
  if (fcr[0x38] == 0xFF) info_.fileFlags |= kVariable;
  info_.acsName = Trimmed(fcr + 0x3C, 8);
  if (info_.pages > physicalPages_)
    Fail("the control record counts " + std::to_string(info_.pages) + " pages but the file holds " +
         std::to_string(physicalPages_) + ": the file is truncated");
  if (fcr[0x76] != Word(fcr + 0x14))
    Fail("the control record gives two different key counts (" + std::to_string(Word(fcr + 0x14)) +
         " and " + std::to_string(fcr[0x76]) + ")");
  // One pair of allocation tables per (page size / 4 - 2) logical pages.
  const uint32_t perTable = info_.pageSize / 4u - 2u;
  const uint32_t pairs = info_.pages <= 1 ? 1 : (info_.pages - 2) / perTable + 1;
  for (uint32_t pair = 0; pair < pairs; ++pair) {
    const uint32_t first = 2 + pair * (info_.pageSize / 4u);
    const uint8_t* a = Physical(first, "a page allocation table").data;
    const uint8_t* b = Physical(first + 1, "a page allocation table").data;
    const bool aOk = a[0] == 'P' && a[1] == 'P', bOk = b[0] == 'P' && b[1] == 'P';
    if (!aOk && !bOk)
      Fail("physical pages " + std::to_string(first) + " and " + std::to_string(first + 1) +
           " should hold a page allocation table and do not");
    patPages_.push_back(!aOk || (bOk && Long(b + 4) > Long(a + 4)) ? first + 1 : first);
  }
  ReadKeys(fcr);
}

void LegacyFile::ReadKeys(const uint8_t* fcr) {
  const size_t keyCount = Word(fcr + 0x14);
  if (keyCount > kMaxSegments)
    Fail("the control record counts " + std::to_string(keyCount) + " keys");
  const size_t ps = info_.pageSize;
  const bool v6 = info_.format == Format::kV6;
  const size_t kat = v6 ? Word(fcr + 0x78) : 0;
  if (v6 && keyCount > 0 && (kat < kFirstSegment || kat + 2 * keyCount > ps))
    Fail("the key table offset " + Hex(static_cast<uint32_t>(kat)) +
         " lies outside the control record");
  size_t at = kFirstSegment, total = 0;
  for (size_t k = 0; k < keyCount; ++k) {
    KeySpec key;
    key.number = static_cast<int>(k);
    if (v6) at = Word(fcr + kat + 2 * k);
    const std::string name = "key " + std::to_string(k);
    size_t declared = 0;
    bool more = true;
    while (more) {
      if (at < kFirstSegment || at + kSegmentSpecSize > (v6 ? kat : ps) || ++total > kMaxSegments)
        Fail(name + ": its segment definitions run outside the control record");
      const uint8_t* p = fcr + at;
      SegmentSpec s;
      s.flags = Word(p + 0x08);
      const uint16_t start = Word(p + 0x14);
      if (v6 && start < 2) Fail(name + ": a segment starts before the record");
      s.offset = static_cast<uint16_t>(v6 ? start - 2 : start);
      s.length = Word(p + 0x16);
      s.type = p[0x1C];
      s.nullValue = p[0x1D];
      if (s.length == 0 || s.offset + size_t{s.length} > info_.recordLength)
        Fail(name + ": a segment (offset " + std::to_string(s.offset) + ", length " +
             std::to_string(s.length) + ") lies outside the " + std::to_string(info_.recordLength) +
             "-byte record");
      if (s.flags & kAlternate) {
        // Before 6.0 a file has one ACS, on page 1; a 6.x segment names the page of its own.
        const uint32_t page = v6 ? (uint32_t{p[0x19]} << 16 | uint32_t{p[0x1B]} << 8 | p[0x1A]) : 1;
        s.acs = static_cast<int>(page);  // resolved to a table index by ReadAcs
      }
      if (key.segments.empty()) {
        const uint32_t root = Long(p) == kNone ? kNone : (v6 ? PagePointer(p) : HiLo(p));
        key.root = root;
        key.uniqueValues = HiLo(p + 0x04);
        key.entryLength = Word(p + 0x0C);
        key.chainOffset = Word(p + 0x12);
        declared = Word(p + 0x0A);
      }
      key.segments.push_back(s);
      more = s.flags & kSegmented;
      at += kSegmentSpecSize;
    }
    const size_t keyLength = key.Length();
    if (keyLength > 255 || declared != keyLength)
      Fail(name + ": its length " + std::to_string(declared) + " does not match its segments (" +
           std::to_string(keyLength) + " bytes)");
    const size_t entry = keyLength + (key.LinkedDuplicates() ? 12 : 8);
    if (key.entryLength != entry)
      Fail(name + ": index entries of " + std::to_string(key.entryLength) +
           " bytes do not fit a key of " + std::to_string(keyLength) + " bytes");
    info_.keys.push_back(std::move(key));
  }
}

void LegacyFile::CheckSlotLayout() {
  const uint16_t flags = info_.fileFlags;
  if (flags & kCompression)
    Fail("its records are compressed (file flag 0x0008); compressed data cannot be decoded");
  if (flags & kBlankTruncation)
    Fail("it uses blank truncation (file flag 0x0002), whose stored form is not decoded");
  if (flags & kKeyOnly) Fail("it is a key-only file (file flag 0x0010), which has no data pages");
  if (info_.format == Format::kV6 && (flags & kVats))
    Fail("its variable parts use allocation tables (file flag 0x0800), which are not decoded");
  if (info_.recordLength == 0) Fail("the control record gives a record length of 0");
  size_t base =
      (info_.format == Format::kV6 ? 2u : 0u) + info_.recordLength + (info_.Variable() ? 4u : 0u);
  size_t chains = 0;
  for (const KeySpec& k : info_.keys) chains += k.LinkedDuplicates();
  base += 8 * chains;
  const size_t phys = info_.physicalLength;
  // A free slot holds a 4-byte pointer, so no slot is shorter.
  if (phys < std::max<size_t>(base, 4) || (phys - base) % 8 != 0 || phys > info_.pageSize - 6u)
    Fail("a record slot of " + std::to_string(phys) + " bytes does not fit a " +
         std::to_string(info_.recordLength) + "-byte record with " + std::to_string(chains) +
         " duplicate chains (" + std::to_string(base) + " bytes and 8 per reserved pointer)");
  info_.reservedDuplicatePointers = static_cast<uint8_t>(std::min<size_t>((phys - base) / 8, 255));
  for (const KeySpec& k : info_.keys)
    if (k.LinkedDuplicates() && (k.chainOffset < base - 8 * chains || k.chainOffset + 8u > phys))
      Fail("key " + std::to_string(k.number) + ": its duplicate pointers at offset " +
           std::to_string(k.chainOffset) + " lie outside the slot's pointer area");
}

void LegacyFile::ReadAcs() {
  const bool v6 = info_.format == Format::kV6;
  uint32_t defaultPage = 0;
  for (KeySpec& key : info_.keys)
    for (SegmentSpec& s : key.segments) {
      if (s.acs < 0) continue;
      auto page = static_cast<uint32_t>(s.acs);
      if (v6 && page == 0) {
        // The file's default ACS: the first ACS page of the allocation table.
        for (uint32_t p = 1; defaultPage == 0 && p < info_.pages; ++p)
          if (TableEntry(p, "the allocation table")[1] == kTypeAcs) defaultPage = p;
        if (defaultPage == 0)
          Fail("key " + std::to_string(key.number) +
               " uses the default collating sequence, but the file has none");
        page = defaultPage;
      }
      const auto found = std::find_if(info_.acs.begin(), info_.acs.end(),
                                      [page](const AcsTable& t) { return t.page == page; });
      if (found != info_.acs.end()) {
        s.acs = static_cast<int>(found - info_.acs.begin());
        continue;
      }
      const std::string what = "the collating sequence of key " + std::to_string(key.number);
      const uint8_t* p = Logical(page, v6 ? kTypeAcs : -1, what.c_str()).data;
      if (p[6] == kCountryAcsSignature)
        Fail(what + " is a country / code-page sequence, which cannot be carried over");
      if (p[6] != kAcsSignature)
        Fail(what + " (page " + std::to_string(page) + ") has no collating sequence signature");
      info_.acs.push_back({page, std::string(reinterpret_cast<const char*>(p) + 6, kAcsBlockSize)});
      s.acs = static_cast<int>(info_.acs.size() - 1);
    }
}

}  // namespace vader::legacy
