#include "legacy/Pre6Writer.h"

#include <algorithm>
#include <numeric>

#include "legacy/Samples.h"

namespace vader::legacy::testing {
namespace {

constexpr uint16_t kPage = 4096;

int Compare(const WriterKey& key, const std::string& a, const std::string& b) {
  for (const WriterSegment& s : key.segments) {
    std::string x = a.substr(s.offset, s.length), y = b.substr(s.offset, s.length);
    if (s.type == 14) std::reverse(x.begin(), x.end()), std::reverse(y.begin(), y.end());
    if (const int c = x.compare(y)) return c < 0 ? -1 : 1;
  }
  return 0;
}

std::string Padded(const std::string& text, size_t size) {
  std::string s = text.substr(0, size);
  s.resize(size, ' ');
  return s;
}

std::string Le(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }

}  // namespace

std::string WritePre6File(uint16_t recordLength, const std::vector<WriterKey>& keys,
                          const std::vector<std::string>& records) {
  size_t chains = 0;
  for (const WriterKey& k : keys) chains += k.duplicates;
  const auto phys = static_cast<uint16_t>(recordLength + 8 * chains);
  const size_t perPage = (kPage - 6) / phys;
  const size_t dataPages = std::max<size_t>(1, (records.size() + perPage - 1) / perPage);
  const size_t firstData = 1 + keys.size();
  const size_t pages = firstData + dataPages;
  std::string file(pages * kPage, '\0');
  auto address = [&](size_t r) {
    return static_cast<uint32_t>((firstData + r / perPage) * kPage + 6 + (r % perPage) * phys);
  };
  for (size_t p = firstData; p < pages; ++p) {
    PutHiLo(file, p * kPage, static_cast<uint32_t>(p));
    PutWord(file, p * kPage + 4, 0x8001);
  }
  for (size_t r = 0; r < records.size(); ++r) {
    std::string rec = records[r];
    rec.resize(recordLength, '\0');
    file.replace(address(r), recordLength, rec);
  }
  PutWord(file, 0x06, 0x0300);
  PutWord(file, 0x08, kPage);
  PutHiLo(file, 0x0C, kNone);
  PutHiLo(file, 0x10, kNone);
  PutWord(file, 0x14, static_cast<uint16_t>(keys.size()));
  PutWord(file, 0x16, recordLength);
  PutWord(file, 0x18, phys);
  PutHiLo(file, 0x1A, static_cast<uint32_t>(records.size()));
  PutHiLo(file, 0x1E, static_cast<uint32_t>(pages - 1));
  PutHiLo(file, 0x26, static_cast<uint32_t>(pages));
  const size_t inLast = records.size() - (dataPages - 1) * perPage;
  PutWord(file, 0x2A, static_cast<uint16_t>(kPage - 6 - inLast * phys));
  size_t spec = 0x110, chain = 0;
  for (size_t k = 0; k < keys.size(); ++k) {
    const WriterKey& key = keys[k];
    std::vector<size_t> order(records.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return Compare(key, file.substr(address(a), recordLength),
                     file.substr(address(b), recordLength)) < 0;
    });
    // Groups of equal keys: one entry each for linked duplicates.
    std::vector<std::vector<size_t>> groups;
    for (size_t r : order) {
      const bool same = !groups.empty() &&
                        Compare(key, file.substr(address(groups.back().back()), recordLength),
                                file.substr(address(r), recordLength)) == 0;
      if (same && key.duplicates)
        groups.back().push_back(r);
      else
        groups.push_back({r});
    }
    size_t keyLength = 0;
    for (const WriterSegment& s : key.segments) keyLength += s.length;
    const size_t entryLength = keyLength + (key.duplicates ? 12 : 8);
    const size_t page = 1 + k, chainOffset = recordLength + 8 * chain;
    PutHiLo(file, page * kPage, static_cast<uint32_t>(page));
    PutWord(file, page * kPage + 6, static_cast<uint16_t>(groups.size()));
    PutHiLo(file, page * kPage + 8, kNone);
    PutHiLo(file, page * kPage + 12, kNone);
    for (size_t g = 0; g < groups.size(); ++g) {
      const size_t at = page * kPage + 16 + g * entryLength;
      std::string value;
      const std::string rec = file.substr(address(groups[g][0]), recordLength);
      for (const WriterSegment& s : key.segments) value += rec.substr(s.offset, s.length);
      file.replace(at, keyLength, value);
      PutHiLo(file, at + keyLength, address(groups[g].front()));
      if (key.duplicates) PutHiLo(file, at + keyLength + 4, address(groups[g].back()));
      PutHiLo(file, at + entryLength - 4, g + 1 < groups.size() ? kNone : 0);
      for (size_t i = 0; key.duplicates && i < groups[g].size(); ++i) {
        const size_t slot = address(groups[g][i]) + chainOffset;
        PutHiLo(file, slot, i ? address(groups[g][i - 1]) : kNone);
        PutHiLo(file, slot + 4, i + 1 < groups[g].size() ? address(groups[g][i + 1]) : kNone);
      }
    }
    for (size_t i = 0; i < key.segments.size(); ++i, spec += 30) {
      const WriterSegment& s = key.segments[i];
      const bool more = i + 1 < key.segments.size();
      if (i == 0) {
        PutHiLo(file, spec, static_cast<uint32_t>(page));
        PutHiLo(file, spec + 4, static_cast<uint32_t>(groups.size()));
        PutWord(file, spec + 0x0A, static_cast<uint16_t>(keyLength));
        PutWord(file, spec + 0x0C, static_cast<uint16_t>(entryLength));
        PutWord(file, spec + 0x0E, static_cast<uint16_t>((kPage - 12) / entryLength));
        PutWord(file, spec + 0x10, static_cast<uint16_t>((kPage - 12) / entryLength / 2));
        PutWord(file, spec + 0x12, static_cast<uint16_t>(key.duplicates ? chainOffset : 0));
      }
      PutWord(file, spec + 8, static_cast<uint16_t>(0x0100 | key.duplicates | (more ? 0x10 : 0)));
      PutWord(file, spec + 0x14, s.offset);
      PutWord(file, spec + 0x16, s.length);
      file[spec + 0x1C] = static_cast<char>(s.type);
    }
    chain += key.duplicates;
  }
  return file;
}

std::string FileRow(uint16_t id, const std::string& name, const std::string& location,
                    uint8_t flags) {
  return Le(id) + Padded(name, 20) + Padded(location, 64) + static_cast<char>(flags) +
         std::string(10, ' ');
}

std::string FieldRow(uint16_t id, uint16_t table, const std::string& name, uint8_t type,
                     uint16_t offset, uint16_t size) {
  return Le(id) + Le(table) + Padded(name, 20) + static_cast<char>(type) + Le(offset) + Le(size) +
         '\0' + Le(0);
}

std::string IndexRow(uint16_t table, uint16_t field, uint16_t number, uint16_t part,
                     uint16_t flags) {
  return Le(table) + Le(field) + Le(number) + Le(part) + Le(flags);
}

std::vector<WriterKey> FileDdfKeys() { return {{{{0, 2, 14}}, false}, {{{2, 20, 0}}, false}}; }
std::vector<WriterKey> FieldDdfKeys() {
  return {{{{0, 2, 14}}, false},
          {{{2, 2, 14}}, true},
          {{{4, 20, 0}}, true},
          {{{2, 2, 14}, {4, 20, 0}}, false}};
}
std::vector<WriterKey> IndexDdfKeys() {
  return {{{{0, 2, 14}}, true}, {{{2, 2, 14}}, true}, {{{0, 2, 14}, {4, 2, 14}, {6, 2, 14}}, false}};
}

}  // namespace vader::legacy::testing
