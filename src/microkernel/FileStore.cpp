#include "microkernel/FileStore.h"

#include <algorithm>

#include "microkernel/FileNames.h"
#include "microkernel/LegacyStore.h"
#include "microkernel/PgReadAhead.h"
#include "microkernel/PgStore.h"
#include "microkernel/ServerLocation.h"
#include "microkernel/SqliteStore.h"

namespace vader::microkernel {
namespace {

bool AllZero(const Bytes& b) {
  return std::all_of(b.begin(), b.end(), [](char c) { return c == 0; });
}

}  // namespace

Bytes AfterDuplicates(const Bytes& encoded) {
  return encoded + Bytes(kDuplicateSequenceSize, static_cast<char>(0xFF));
}

Walk::Walk() = default;

Walk::~Walk() {
  if (store_) store_->EndWalk(*this);
}

Status FileStore::Create(const std::string& path, const FileDefinition& def, bool failIfExists) {
  if (IsServerLocation(path)) return PgStore::Create(path, def, failIfExists);
  return SqliteStore::Create(path, def, failIfExists);
}

Status FileStore::Open(const std::string& path, std::unique_ptr<FileStore>& out,
                       std::shared_ptr<ServerSessions>* sessions) {
  if (IsServerLocation(path)) return PgStore::Open(path, out, sessions);
  // Files of real Btrieve engines are read where they are, read-only.
  if (IsRealBtrieveFile(path)) return LegacyStore::Open(path, out);
  std::unique_ptr<SqliteStore> store;
  const Status s = SqliteStore::Open(path, store);
  out = std::move(store);
  return s;
}

Status FileStore::CommitAll(const std::vector<std::shared_ptr<FileStore>>& stores) {
  std::vector<std::shared_ptr<FileStore>> local, server;
  for (const auto& store : stores) (store->OnServer() ? server : local).push_back(store);
  // A transaction over both kinds commits its local files (atomically among themselves) first,
  // then its server files (one server transaction per server).
  Status result = local.empty() ? kOk : SqliteStore::CommitAll(local);
  if (server.empty()) return result;
  if (result != kOk) {
    for (const auto& store : server) store->EndTransaction(false);
    return result;
  }
  return PgStore::CommitAll(server);
}

bool FileStore::OpenInProcess(const std::string& path) {
  return IsServerLocation(path) ? PgStore::OpenInProcess(path) : SqliteStore::OpenInProcess(path);
}

void FileStore::EndIdleWalks() {
  SqliteStore::EndIdleWalks();
  PgStore::EndIdleWalks();
}

const KeyCodec* FileStore::Codec(int number) const {
  if (number < 0 || static_cast<size_t>(number) >= codecs_.size()) return nullptr;
  return codecs_[number].get();
}

void FileStore::BuildCodecs() {
  codecs_.clear();
  for (const KeyDef& k : def_.keys) {
    if (codecs_.size() <= k.number) codecs_.resize(k.number + 1u);
    codecs_[k.number] = std::make_unique<KeyCodec>(k, def_);
  }
}

Bytes FileStore::DuplicateEntry(const Bytes& encoded, const Bytes& last) {
  uint64_t seq = 1;
  if (last.size() == encoded.size() + kDuplicateSequenceSize &&
      last.compare(0, encoded.size(), encoded) == 0) {
    seq = 0;
    for (size_t i = encoded.size(); i < last.size(); ++i)
      seq = (seq << 8) | static_cast<uint8_t>(last[i]);
    ++seq;
  }
  Bytes entry = encoded;
  for (int i = kDuplicateSequenceSize - 1; i >= 0; --i) entry.push_back(static_cast<char>(seq >> (8 * i)));
  return entry;
}

Status FileStore::UpdateRecords(const std::vector<uint32_t>& positions, const Patch& patch,
                                size_t& failed) {
  Bytes old, record, unusedEntry;
  for (failed = 0; failed < positions.size(); ++failed) {
    const uint32_t pos = positions[failed];
    if (Status s = Read(pos, old); s != kOk) return s;
    record.assign(old);
    patch(failed, record);
    if (Status s = Update(pos, old, record, -1, unusedEntry); s != kOk) return s;
  }
  return kOk;
}

Status FileStore::DeleteRecords(const std::vector<uint32_t>& positions, size_t& failed) {
  Bytes old;
  for (failed = 0; failed < positions.size(); ++failed) {
    const uint32_t pos = positions[failed];
    if (Status s = Read(pos, old); s != kOk) return s;
    if (Status s = Delete(pos, old); s != kOk) return s;
  }
  return kOk;
}

Status FileStore::AssignAutoIncrement(const KeyCodec& codec, Bytes& record) {
  const Segment& seg = codec.Key().segments.front();
  if (!AllZero(record.substr(seg.Offset(), seg.length))) return kOk;
  Row row;
  const bool descending = seg.flags & kKeyDescending;
  Status s = SeekKey(codec.Key().number, descending ? Seek::kFirst : Seek::kLast, Bytes(), row);
  int64_t highest = 0;
  if (s == kOk && row.data.size() >= seg.Offset() + seg.length) {
    const uint64_t v =
        ReadUnsigned(reinterpret_cast<const uint8_t*>(row.data.data()) + seg.Offset(), seg.length);
    const int shift = 64 - 8 * seg.length;
    highest = shift > 0 ? static_cast<int64_t>(v << shift) >> shift : static_cast<int64_t>(v);
  } else if (s != kEndOfFile && s != kOk) {
    return s;
  }
  WriteUnsigned(reinterpret_cast<uint8_t*>(record.data()) + seg.Offset(), seg.length,
                static_cast<uint64_t>(std::max<int64_t>(highest, 0) + 1));
  return kOk;
}

}  // namespace vader::microkernel
