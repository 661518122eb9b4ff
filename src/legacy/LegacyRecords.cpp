// Data pages, the deleted-record and free-page chains, and variable tails (fragment chains).

#include <algorithm>
#include <set>

#include "legacy/LegacyBytes.h"
#include "legacy/LegacyFile.h"

namespace vader::legacy {
namespace {

constexpr uint16_t kDataPageBit = 0x8000;
constexpr uint8_t kTypeData = 'D';
constexpr uint8_t kTypeVariable = 'V';
constexpr size_t kPageHeader = 6;
constexpr size_t kFragmentStart = 0x0C;
constexpr uint16_t kUnusedFragment = 0xFFFF;
constexpr uint16_t kContinues = 0x8000;  // pre-6.0: the fragment begins with a pointer
constexpr size_t kMaxTail = 16u << 20;

}  // namespace

void LegacyFile::FindRecords() {
  if (info_.format == Format::kPre6)
    FindRecordsPre6();
  else
    FindRecordsV6();
  if (addresses_.size() != info_.records)
    Fail("the data pages hold " + std::to_string(addresses_.size()) +
         " live records but the control record counts " + std::to_string(info_.records));
  sortedAddresses_ = addresses_;
  std::sort(sortedAddresses_.begin(), sortedAddresses_.end());
}

void LegacyFile::FindRecordsPre6() {
  const uint32_t ps = info_.pageSize, phys = info_.physicalLength;
  const uint32_t perPage = (ps - kPageHeader) / phys;
  const uint32_t pages = std::min(info_.pages, physicalPages_);
  const auto* fcr = reinterpret_cast<const uint8_t*>(bytes_.data());
  auto isData = [&](uint32_t p) {
    const uint8_t* page = fcr + size_t{p} * ps;
    return p > 0 && p < pages && (Word(page + 4) & kDataPageBit) && HiLo(page) == p;
  };
  // Free pages are skipped even when they still look like data pages.
  std::set<uint32_t> freePages;
  for (uint32_t p = HiLo(fcr + 0x0C); p != kNone;) {
    if (p == 0 || p >= pages)
      Fail("the free-page chain points at page " + std::to_string(p) + ", outside the file");
    if (!freePages.insert(p).second)
      Fail("the free-page chain loops (page " + std::to_string(p) + " comes twice)");
    p = HiLo(fcr + size_t{p} * ps + 8);
  }
  std::set<uint32_t> deleted;
  for (uint32_t a = HiLo(fcr + 0x10); a != kNone;) {
    const uint32_t page = a / ps, offset = a % ps;
    if (!isData(page) || offset < kPageHeader || (offset - kPageHeader) % phys != 0 ||
        (offset - kPageHeader) / phys >= perPage)
      Fail("the deleted-record chain points at offset " + std::to_string(a) +
           ", which is not a record slot");
    if (!deleted.insert(a).second)
      Fail("the deleted-record chain loops (offset " + std::to_string(a) + " comes twice)");
    a = HiLo(fcr + a);
  }
  // Slots past the used part of the last data page were never written.
  uint32_t usedInLast = perPage;
  if (isData(lastDataPage_)) {
    if (lastPageFree_ > ps - kPageHeader)
      Fail("the control record gives " + std::to_string(lastPageFree_) +
           " free bytes in the last data page, more than a page holds");
    usedInLast = (ps - kPageHeader - lastPageFree_) / phys;
  } else if (info_.records > 0) {
    Fail("the control record names page " + std::to_string(lastDataPage_) +
         " as the last data page, which is not a data page");
  }
  for (uint32_t p = 1; p < pages; ++p) {
    if (!isData(p) || freePages.count(p)) continue;
    const uint32_t slots = p == lastDataPage_ ? std::min(usedInLast, perPage) : perPage;
    for (uint32_t s = 0; s < slots; ++s) {
      const uint32_t a = p * ps + kPageHeader + s * phys;
      if (!deleted.count(a)) addresses_.push_back(a);
    }
  }
}

void LegacyFile::FindRecordsV6() {
  const uint32_t ps = info_.pageSize, phys = info_.physicalLength;
  const uint32_t perPage = (ps - kPageHeader) / phys;
  for (uint32_t p = 1; p < info_.pages; ++p) {
    if (TableEntry(p, "the allocation table")[1] != kTypeData) continue;
    if (uint64_t{p} * ps + ps > kNone)
      Fail("data page " + std::to_string(p) + " lies beyond the addresses records can have");
    const uint8_t* page = Logical(p, kTypeData, "a data page").data;
    for (uint32_t s = 0; s < perPage; ++s)
      if (Word(page + kPageHeader + size_t{s} * phys) != 0)
        addresses_.push_back(p * ps + kPageHeader + s * phys);
  }
}

bool LegacyFile::Live(uint32_t address) const {
  return std::binary_search(sortedAddresses_.begin(), sortedAddresses_.end(), address);
}

const uint8_t* LegacyFile::Slot(uint32_t address) const {
  if (!Live(address)) Fail("record address " + std::to_string(address) + " is not a live record");
  const uint32_t ps = info_.pageSize;
  return Logical(address / ps, info_.format == Format::kV6 ? kTypeData : -1, "a record").data +
         address % ps;
}

std::string LegacyFile::Record(uint32_t address) const {
  const uint8_t* slot = Slot(address) + (info_.format == Format::kV6 ? 2 : 0);
  std::string record(reinterpret_cast<const char*>(slot), info_.recordLength);
  if (info_.Variable()) record += Tail(slot + info_.recordLength);
  return record;
}

std::string LegacyFile::Tail(const uint8_t* pointer) const {
  const bool v6 = info_.format == Format::kV6;
  const size_t ps = info_.pageSize;
  std::string tail;
  std::set<uint64_t> seen;
  uint32_t page = TailPage(pointer);
  uint32_t fragment = pointer[3];
  while (!(page == 0xFFFFFF && fragment == 0xFF)) {
    const std::string where = "a variable tail (page " + std::to_string(page) + ", fragment " +
                              std::to_string(fragment) + ")";
    if (!seen.insert(uint64_t{page} << 8 | fragment).second)
      Fail("the fragment chain of " + where + " loops");
    const uint8_t* p = Logical(page, v6 ? kTypeVariable : -1, where.c_str()).data;
    if (!v6 && ((Word(p + 4) & kDataPageBit) || HiLo(p) != page))
      Fail(where + " is not on a variable page");
    const size_t count = Word(p + 0x0A);
    const size_t tableStart = ps - 2 * (count + 1);
    if (fragment >= count || 2 * (count + 1) > ps - kFragmentStart)
      Fail(where + ": the page has " + std::to_string(count) + " fragments");
    const auto entry = [&](size_t i) { return Word(p + ps - 2 * (i + 1)); };
    const uint16_t own = entry(fragment);
    if (own == kUnusedFragment) Fail(where + " is an unused fragment");
    size_t end = 0;
    for (size_t j = fragment + 1; j <= count && end == 0; ++j)
      if (entry(j) != kUnusedFragment) end = entry(j) & (v6 ? 0xFFFF : 0x7FFF);
    size_t start = own & (v6 ? 0xFFFF : 0x7FFF);
    if (start < kFragmentStart || end < start || end > tableStart)
      Fail(where + " lies outside the page's fragment area");
    const bool continues = v6 || (own & kContinues);
    const uint8_t* next = p + start;
    if (continues) {
      if (end - start < 4) Fail(where + " is too short for its continuation pointer");
      start += 4;
    }
    tail.append(reinterpret_cast<const char*>(p) + start, end - start);
    if (tail.size() > kMaxTail) Fail(where + ": the variable tail grows beyond 16 MiB");
    if (!continues) break;
    page = TailPage(next);
    fragment = next[3];
  }
  return tail;
}

}  // namespace vader::legacy
