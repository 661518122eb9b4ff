// Index pages (B-trees) walked in key order, duplicate chains, and the insertion order that
// carries every key's duplicate order over.

#include <algorithm>
#include <queue>
#include <set>
#include <unordered_map>

#include "legacy/LegacyBytes.h"
#include "legacy/LegacyFile.h"

namespace vader::legacy {
namespace {

constexpr size_t kIndexHeader = 16;  // page, usage, entry count, last child, first child
constexpr int kMaxDepth = 32;
constexpr uint16_t kDataPageBit = 0x8000;

}  // namespace

struct LegacyFile::Walk {
  std::set<uint32_t> visited;  // index pages seen: a page reached twice is a loop
  std::vector<std::vector<uint32_t>> groups;
  std::string lastKey;
  size_t records = 0;  // records emitted so far
};

void LegacyFile::AppendEntry(const KeySpec& key, const uint8_t* entry, Walk& walk) const {
  auto& groups = walk.groups;
  const size_t length = key.Length();
  const uint32_t head = HiLo(entry + length);
  const std::string name = "key " + std::to_string(key.number);
  if (!Live(head))
    Fail(name + ": its index points at " + std::to_string(head) + ", which is not a live record");
  if (!key.LinkedDuplicates()) {
    // Repeating duplicates: one entry per record; equal keys side by side form a group.
    std::string value(reinterpret_cast<const char*>(entry), length);
    if (!(key.Flags() & kDuplicates) || groups.empty() || value != walk.lastKey)
      groups.emplace_back();
    groups.back().push_back(head);
    walk.lastKey = std::move(value);
    ++walk.records;
    return;
  }
  const uint32_t tail = HiLo(entry + length + 4);
  std::vector<uint32_t> chain{head};
  for (uint32_t at = head; at != tail;) {
    const uint32_t next = HiLo(Slot(at) + key.chainOffset + 4);
    if (next == kNone)
      Fail(name + ": a duplicate chain ends at " + std::to_string(at) + " before its last record " +
           std::to_string(tail));
    if (!Live(next))
      Fail(name + ": a duplicate chain points at " + std::to_string(next) +
           ", which is not a live record");
    if (walk.records + chain.size() >= addresses_.size())
      Fail(name + ": a duplicate chain loops (the index holds more records than the file)");
    chain.push_back(next);
    at = next;
  }
  walk.records += chain.size();
  groups.push_back(std::move(chain));
}

void LegacyFile::WalkIndex(const KeySpec& key, uint32_t page, int depth, Walk& walk) const {
  const std::string name = "key " + std::to_string(key.number);
  if (depth > kMaxDepth) Fail(name + ": its index is deeper than " + std::to_string(kMaxDepth));
  if (!walk.visited.insert(page).second)
    Fail(name + ": its index loops (page " + std::to_string(page) + " is reached twice)");
  const bool v6 = info_.format == Format::kV6;
  const std::string what = name + "'s index";
  const uint8_t* p = Logical(page, v6 ? 0x80 + key.number : -1, what.c_str()).data;
  if (!v6 && ((Word(p + 4) & kDataPageBit) || HiLo(p) != page))
    Fail(what + " names page " + std::to_string(page) + ", which is not an index page");
  const size_t count = Word(p + 6);
  if (kIndexHeader + count * key.entryLength > info_.pageSize)
    Fail(what + ": page " + std::to_string(page) + " claims " + std::to_string(count) +
         " entries, more than it holds");
  const auto child = [&](const uint8_t* at) -> uint32_t {
    // Page 0 is the control record: 0, like all ones, means "no child".
    if (Long(at) == kNone || Long(at) == 0) return kNone;
    return v6 ? PagePointer(at) : HiLo(at);
  };
  // The first child precedes the first entry; each entry's child follows it, except that the
  // last entry's child is kept in the page header.
  const auto descend = [&](uint32_t c) {
    if (c != kNone) WalkIndex(key, c, depth + 1, walk);
  };
  descend(child(p + 12));
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = p + kIndexHeader + i * key.entryLength;
    AppendEntry(key, entry, walk);
    if (walk.records > addresses_.size())
      Fail(name + ": its index holds more entries than the file has records");
    descend(i + 1 < count ? child(entry + key.entryLength - 4) : child(p + 8));
  }
}

std::vector<std::vector<uint32_t>> LegacyFile::IndexGroups(size_t index) const {
  const KeySpec& key = info_.keys.at(index);
  Walk walk;
  if (key.root != kNone) WalkIndex(key, key.root, 0, walk);
  const size_t total = walk.records;
  const bool nullable = key.Flags() & (kNullAll | kNullAny);
  if (total > addresses_.size() || (!nullable && total != addresses_.size()))
    Fail("key " + std::to_string(key.number) + ": its index holds " + std::to_string(total) +
         " of the file's " + std::to_string(addresses_.size()) + " records");
  return std::move(walk.groups);
}

std::vector<uint32_t> LegacyFile::IndexOrder(size_t index) const {
  std::vector<uint32_t> order;
  for (const auto& g : IndexGroups(index)) order.insert(order.end(), g.begin(), g.end());
  return order;
}

std::vector<uint32_t> LegacyFile::InsertionOrder(size_t& conflicts) const {
  const size_t n = addresses_.size();
  std::unordered_map<uint32_t, size_t> slot;
  for (size_t i = 0; i < n; ++i) slot[addresses_[i]] = i;
  // Each duplicate group asks for its records in its own order: an edge from each record to
  // the next. A stable topological sort keeps the physical order wherever nothing asks.
  std::vector<std::vector<size_t>> after(n);
  std::vector<size_t> before(n, 0);
  for (size_t k = 0; k < info_.keys.size(); ++k) {
    if (!(info_.keys[k].Flags() & kDuplicates)) continue;
    for (const auto& g : IndexGroups(k))
      for (size_t i = 1; i < g.size(); ++i) {
        after[slot[g[i - 1]]].push_back(slot[g[i]]);
        ++before[slot[g[i]]];
      }
  }
  std::priority_queue<size_t, std::vector<size_t>, std::greater<>> ready;
  for (size_t i = 0; i < n; ++i)
    if (before[i] == 0) ready.push(i);
  std::vector<bool> placed(n, false);
  std::vector<uint32_t> order;
  order.reserve(n);
  size_t scan = 0;
  conflicts = 0;
  while (order.size() < n) {
    size_t next;
    if (!ready.empty()) {
      next = ready.top();
      ready.pop();
      if (placed[next]) continue;
    } else {
      // The orders contradict each other: place the first record still waiting.
      while (placed[scan]) ++scan;
      next = scan;
      ++conflicts;
    }
    placed[next] = true;
    order.push_back(addresses_[next]);
    for (size_t m : after[next])
      if (!placed[m] && --before[m] == 0) ready.push(m);
  }
  return order;
}

void LegacyFile::Verify() const {
  for (uint32_t a : addresses_) Record(a);
  for (size_t k = 0; k < info_.keys.size(); ++k) IndexGroups(k);
}

}  // namespace vader::legacy
