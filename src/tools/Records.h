#pragma once
// Whole-file record work through the API: describe, create, save, load, copy and clone.

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "tools/FileDef.h"

namespace vader::tools {

// Called with the number of records done so far, every kProgressStep records.
using Progress = std::function<void(uint64_t)>;
constexpr uint64_t kProgressStep = 50000;

FileDef StatFile(const std::string& path, const std::string& owner = "");
void CreateFromDef(const std::string& path, const FileDef& def, bool replace);

// Writes every record in physical order; returns the count.
uint64_t SaveRecords(const std::string& path, const std::string& owner, std::ostream& out,
                     const Progress& progress = {});
// Inserts every record of a sequential stream; returns the count.
uint64_t LoadRecords(const std::string& path, const std::string& owner, std::istream& in,
                     const Progress& progress = {});
// Inserts every record of `from` into the existing file `to`.
uint64_t CopyRecords(const std::string& from, const std::string& fromOwner, const std::string& to,
                     const std::string& toOwner, const Progress& progress = {});
// Creates `to`, empty, with the definition of `from`.
void CloneFile(const std::string& from, const std::string& owner, const std::string& to,
               bool replace);

// Inserts records in transactions of a few thousand, which makes bulk loads fast. One batch
// may feed several files; a client has one transaction at a time.
class BatchInserter {
 public:
  explicit BatchInserter(const Progress& progress = {}) : progress_(progress) {}
  ~BatchInserter();
  void Insert(BtrFile& file, Bytes& record);
  uint64_t Finish();

 private:
  static constexpr uint64_t kBatch = 2000;
  Progress progress_;
  std::unique_ptr<Transaction> txn_;
  uint64_t count_ = 0;
};

}  // namespace vader::tools
