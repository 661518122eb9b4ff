#pragma once
// The dictionary side of restructuring a Btrieve table. The new structure is first a table of
// its own, hidden among the dictionary's tables, whose data file lies beside the table's as
// "<file>.new"; the records are copied into it through ordinary cursors. Switching then takes
// one Btrieve transaction over the dictionary: the table's field, index and type override
// entries become those of the new structure, the hidden entry goes, and the table's entry gets
// the swap mark. A field's type override (FIELDEXT.DDF) follows it when it keeps its Btrieve
// type and size, renamed or not; a dropped or converted field's goes. After
// that the files change places (see tools/FileSwap.h) and the mark is cleared; whoever opens the
// table while the mark is set finishes the swap first.

#include <cstdint>
#include <string>

#include "tools/TableSchema.h"

namespace vader {

class TBtrDatabase;

struct TRebuild {
  std::string name;      // the table
  std::string tempName;  // the hidden table of the new structure
  std::string path;      // the table's data file
  uint16_t tableId = 0;
};

// Creates the hidden table for restructuring table `name` into `def` (its name and location
// are taken from the table), after removing what an earlier interrupted rebuild left.
TRebuild BeginRebuild(TBtrDatabase& db, const std::string& name, tools::TableDef def);
// Gives the table the new structure in one dictionary transaction and marks the swap. The old
// data file must still be held open exclusively by the caller, so that nothing changes it.
void SwitchToRebuilt(TBtrDatabase& db, const TRebuild& rebuild);
// Removes the hidden table and its file (a stopped or failed rebuild).
void AbandonRebuild(TBtrDatabase& db, const TRebuild& rebuild);
// Puts the rebuilt file in place of table `name`'s file at `path`, removes the old file and
// clears the mark. Safe to repeat and to run from another program.
void FinishTableSwap(TBtrDatabase& db, const std::string& name, const std::string& path);

}  // namespace vader
