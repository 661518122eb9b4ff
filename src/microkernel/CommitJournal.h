#pragma once
// Redo journals that make a transaction's commit atomic across several files. Before the
// files commit one by one, each gets a journal beside it ("<file>-vtx") holding the
// transaction id, every participating file and the writes made to that file. The commit is
// decided once every participant's journal is complete on disk. A file opened after a crash
// with a journal left beside it replays the writes when its own commit did not happen and the
// decision was reached, and drops the journal otherwise.

#include <cstdint>
#include <string>
#include <vector>

#include "microkernel/Bytes.h"

namespace vader::microkernel {

struct JournalEntry {
  enum Kind : uint8_t { kInsert = 1, kUpdate = 2, kDelete = 3 };
  Kind kind = kInsert;
  uint32_t pos = 0;
  Bytes record;  // the record as written (empty for a delete)
};

struct Journal {
  uint64_t id = 0;
  std::vector<std::string> participants;
  std::vector<JournalEntry> entries;
};

std::string JournalPath(const std::string& file);
// Writes and syncs the journal; false on any I/O failure.
bool WriteJournal(const std::string& file, const Journal& journal);
// False when there is no journal or it is incomplete (a crash while writing it).
bool ReadJournal(const std::string& file, Journal& out);
// Whether every participant's journal of transaction `id` is complete: the commit decision.
bool CommitDecided(const Journal& journal);
void RemoveJournal(const std::string& file);

}  // namespace vader::microkernel
