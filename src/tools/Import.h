#pragma once
// Import of data files written by real Btrieve engines into record-manager files: one file, or
// a whole database directory with its DDF dictionary. Every source is read and checked whole
// before anything is written; a failed write removes what this import created.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "legacy/LegacyFile.h"
#include "tools/FileDef.h"
#include "tools/Records.h"

namespace vader::tools {

struct ImportOptions {
  std::string owner;  // set on every imported file whose source is owner-protected
  // import-db: owner names by source file (its path relative to the database directory),
  // used instead of `owner` for those files
  std::vector<std::pair<std::string, std::string>> owners;
  int ownerLevel = 0;
  bool replace = false;         // overwrite existing destination files
  bool skipUnreadable = false;  // import-db: leave out sources that cannot be read
  bool check = false;           // read and check the sources only; write nothing
  Progress progress;            // records inserted so far, per file
};

struct FileImport {
  std::string source, dest;
  uint64_t records = 0;
  bool ownerSet = false;
  std::vector<std::string> notes;  // what did not come over exactly
  bool ownerProtected = false;     // the source is (reported by import-db --check)
};

// A source read whole and checked, with the order its records are inserted in.
struct ReadSource {
  legacy::LegacyFile file;
  std::vector<uint32_t> order;
  size_t orderConflicts = 0;
};

// Reads and checks `path` completely; throws legacy::LegacyError.
ReadSource ReadLegacy(const std::string& path);

// The record manager's definition of a file with the source's record layout, keys and ACSs.
FileDef DefinitionOf(const legacy::FileInfo& info);

// Creates `dest` and inserts every record of `source`, then compares the Get Next order of
// every key with the original index. Throws std::runtime_error (dest removed) on failure.
FileImport ImportFile(const ReadSource& source, const std::string& dest,
                      const ImportOptions& options);

struct DatabaseImport {
  std::vector<FileImport> files;
  std::vector<std::string> skipped;  // "NAME: why"
  std::vector<std::string> notes;    // tables sharing a data file under another spelling
  uint64_t Records() const;
};

// Imports the dictionary files of `sourceDir` and every data file they name into `destDir`,
// under the same names. `log` receives one line per file as it is imported.
DatabaseImport ImportDatabase(const std::string& sourceDir, const std::string& destDir,
                              const ImportOptions& options, std::ostream& log);

}  // namespace vader::tools
