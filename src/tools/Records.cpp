#include "tools/Records.h"

#include <memory>

#include "tools/Sequential.h"

namespace vader::tools {

FileDef StatFile(const std::string& path, const std::string& owner) {
  BtrFile file(path, owner, -2);
  return ParseStat(file.Stat());
}

void CreateFromDef(const std::string& path, const FileDef& def, bool replace) {
  CreateFile(path, CreateBuffer(def), replace);
}

BatchInserter::~BatchInserter() = default;  // an unfinished batch is aborted

void BatchInserter::Insert(BtrFile& file, Bytes& record) {
  if (!txn_) txn_ = std::make_unique<Transaction>();
  file.Insert(record);
  ++count_;
  if (count_ % kBatch == 0) {
    txn_->Commit();
    txn_.reset();
  }
  if (progress_ && count_ % kProgressStep == 0) progress_(count_);
}

uint64_t BatchInserter::Finish() {
  if (txn_) txn_->Commit();
  txn_.reset();
  return count_;
}

uint64_t SaveRecords(const std::string& path, const std::string& owner, std::ostream& out,
                     const Progress& progress) {
  BtrFile file(path, owner, -2);
  Bytes record;
  uint64_t count = 0;
  for (int16_t s = file.Step(kOpStepFirst, record); s == 0; s = file.Step(kOpStepNext, record)) {
    WriteSequential(out, record);
    if (++count % kProgressStep == 0 && progress) progress(count);
  }
  if (!out) throw std::runtime_error("writing the records of " + path + " failed");
  return count;
}

uint64_t LoadRecords(const std::string& path, const std::string& owner, std::istream& in,
                     const Progress& progress) {
  BtrFile file(path, owner);
  SequentialReader reader(in);
  BatchInserter inserter(progress);
  Bytes record;
  // On a failure the records before it stay, so a corrected load can resume after them.
  try {
    while (reader.Next(record)) inserter.Insert(file, record);
  } catch (const BtrieveError& e) {
    const uint64_t loaded = inserter.Finish();
    throw BtrieveError(e.Status(), "line " + std::to_string(reader.Line()) + ": insert into " +
                                       path + " after " + std::to_string(loaded) + " records");
  } catch (const SequentialError&) {
    inserter.Finish();
    throw;
  }
  return inserter.Finish();
}

uint64_t CopyRecords(const std::string& from, const std::string& fromOwner, const std::string& to,
                     const std::string& toOwner, const Progress& progress) {
  BtrFile source(from, fromOwner, -2);
  BtrFile target(to, toOwner);
  BatchInserter inserter(progress);
  Bytes record;
  for (int16_t s = source.Step(kOpStepFirst, record); s == 0; s = source.Step(kOpStepNext, record))
    inserter.Insert(target, record);
  return inserter.Finish();
}

void CloneFile(const std::string& from, const std::string& owner, const std::string& to,
               bool replace) {
  CreateFromDef(to, StatFile(from, owner), replace);
}

}  // namespace vader::tools
