#pragma once
// Checks the key tables of a local file straight from its SQLite storage, in one read
// transaction and one pass over each table: every key table must hold, in its order, the
// encoded key value of each record that is not null in that key, once, and nothing else. This
// proves a sound file at about the cost of reading it; a key it cannot prove is left to the
// record-by-record check through the record manager, which says where the key went wrong.

#include <cstdint>
#include <string>
#include <vector>

namespace vader::microkernel {

struct StoredKeyProof {
  int number = 0;
  // Each entry holds the encoded key value of the record it points at, the entries ascend,
  // and each record not null in the key has exactly one of them.
  bool agrees = false;
  uint32_t distinctValues = 0;  // counted over the entries when they agree
};

struct StoredFileProof {
  // False when `path` is no database of the record manager that could be read here whole, or
  // a record is damaged below its keys (a position out of range, a record shorter than the
  // file's record length): the check through the record manager then reports what it finds.
  bool read = false;
  uint32_t records = 0;
  std::vector<StoredKeyProof> keys;  // in key order

  const StoredKeyProof* Find(int number) const;
};

// `path`: the SQLite database of a local file, as the record manager resolved its name.
StoredFileProof ProveStoredKeys(const std::string& path);

}  // namespace vader::microkernel
