#pragma once
// The dictionary as the SQL catalogue: the tables of FILE.DDF with their columns from
// FIELD.DDF, and each data file's keys from the file itself (Stat), matched to the columns.
// A column is case-insensitive when FIELD.DDF marks it so or an INDEX.DDF key part on it is.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sqlengine/BtrFile.h"
#include "sqlengine/Value.h"

namespace vader::sqlengine {

// The owner name the dictionary files carry.
constexpr const char* kDictionaryOwner = "..RV....";

struct Column {
  std::string name;
  FieldFormat format;
  uint16_t offset = 0;
  uint16_t flags = 0;
  // Compared without regard to ASCII case, as its case-insensitive key orders it.
  bool noCase = false;
};

struct KeySegment {
  uint16_t offset = 0;  // 0-based
  uint16_t length = 0;
  uint16_t flags = 0;
  uint8_t type = 0;
  int column = -1;  // the column stored exactly there, if any
};

struct Key {
  int number = 0;
  bool unique = true;
  bool nullable = false;  // records with the null value are left out of the index
  std::vector<KeySegment> segments;
};

struct Table {
  uint16_t id = 0;
  std::string name;
  std::string path;  // the data file
  bool system = false;
  std::vector<Column> columns;
  // Known once the data file has been opened.
  bool layoutKnown = false;
  uint16_t recordLength = 0;
  bool variable = false;
  std::vector<Key> keys;

  int ColumnIndex(const std::string& name) const;  // case-insensitive; -1 when none
  // Reads the record length and the keys from an open position block of the data file.
  int16_t LoadLayout(BtrFile& file);
};

// Throws nothing: the status of the first failure is returned.
int16_t LoadCatalog(const std::string& dictionaryDir, const std::string& dataDir,
                    ClientId* client, const std::vector<std::string>& owners,
                    std::vector<std::unique_ptr<Table>>& tables);

// The path of a dictionary file or a data file location below `dir`.
std::string JoinPath(const std::string& dir, const std::string& name);

bool SameText(const std::string& a, const std::string& b);  // ignoring ASCII case

}  // namespace vader::sqlengine
