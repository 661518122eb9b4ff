#pragma once
// A data file written by a real Btrieve engine, read in place and never written: the legacy
// reader loads and checks it whole when it opens, and its records and every key's entries are
// held in memory in the record manager's own order (encoded keys, the original duplicate order).
// Writes, index changes and owner names answer the read-only status.

#include <unordered_map>

#include "legacy/LegacyFile.h"
#include "microkernel/FileStore.h"

namespace vader::microkernel {

class LegacyStore final : public FileStore {
 public:
  // Reads the file; status 30 when it cannot be read (the reader's reason is lost here: the
  // import commands report it).
  static Status Open(const std::string& path, std::unique_ptr<FileStore>& out);

  bool ReadOnly() const override { return true; }
  // The header marks a file guarded by an owner name, but what the name guards is not stored
  // in a form known here.
  uint16_t OwnerFlags() const override {
    return ownerProtected_ ? kFileOwnerName | kFileOwnerLevelUnknown : 0;
  }
  Status Refresh() override { return kOk; }
  Status BeginWrite(bool, bool) override { return kAccessDenied; }
  Status EndWrite(bool) override { return kOk; }
  Status EndTransaction(bool) override { return kOk; }
  Status BeginStatement() override { return kOk; }
  Status EndStatement(bool) override { return kOk; }

  Status Read(uint32_t pos, Bytes& data) override;
  Status Insert(Bytes&, uint32_t&, int, Bytes&) override { return kAccessDenied; }
  Status Update(uint32_t, const Bytes&, Bytes&, int, Bytes&) override { return kAccessDenied; }
  Status Delete(uint32_t, const Bytes&) override { return kAccessDenied; }

  Status SeekKey(int number, Seek mode, const Bytes& bound, Row& row,
                 Walk* walk = nullptr) override;
  Status SeekPhysical(Seek mode, uint32_t bound, Row& row, Walk* walk = nullptr) override;
  Status FindEntry(int number, const Bytes& encoded, uint32_t pos, Bytes& entry) override;

  Status CountAll(int number, uint32_t& n) override;
  Status CountBelow(int number, const Bytes& entry, uint32_t pos, uint32_t& n) override;
  Status NthRow(int number, uint32_t rank, Row& row) override;
  Status StatCountsFor(StatCounts& out) override;

  Status AddIndex(const FileDefinition&, int) override { return kAccessDenied; }
  Status DropIndex(int, bool) override { return kAccessDenied; }
  Status SetOwner(const OwnerInfo&) override { return kAccessDenied; }

 private:
  struct Entry {
    Bytes key;  // encoded key, with an 8-byte sequence on duplicate keys
    uint32_t pos;
  };
  using Entries = std::vector<Entry>;

  LegacyStore() = default;
  // Reads every record; gives the position of each by its address in the file.
  std::unordered_map<uint32_t, uint32_t> LoadRecords(const legacy::LegacyFile& file);
  void LoadKey(const legacy::LegacyFile& file, size_t index,
               const std::unordered_map<uint32_t, uint32_t>& positions);
  const Entries* KeyEntries(int number) const;
  Status RowAt(const Entries& entries, size_t at, Row& row) const;

  std::vector<Bytes> records_;   // by position - 1, in the file's physical order
  std::vector<Entries> keys_;    // by key number, sorted by entry
  std::vector<uint32_t> unique_;  // distinct key values, by key number
  bool ownerProtected_ = false;
};

}  // namespace vader::microkernel
