#pragma once
// TBtrSqlSession: the engine session of the driver when Scalable SQL may be used. Its databases
// are TBtrSqlDatabase; its database list merges the registered databases with the engine's
// local and remote named databases ("@NAME"); the last session to end stops the engine and
// releases its libraries.

#include <cstdint>
#include <vector>

#include "btrieve/BtrSess.h"
#include "engine/BseDbase.h"
#include "engine/BseTable.h"

namespace vader {

// One database of the merged list.
class TDBListObject {
 public:
  explicit TDBListObject(const DatabaseDesc& desc) : Desc(desc) {}
  DatabaseDesc Desc;
};

// The merged database list: rows of DatabaseDesc.
class TSSQLDatabaseTable : public TBaseTable {
 public:
  TSSQLDatabaseTable(TBaseSession* session, TVaderCollection* collection);

  const std::vector<TDBListObject>& Items() const { return items_; }

  uint32_t GetRecordSize() const override { return sizeof(DatabaseDesc); }
  void SetToBegin() override;
  void OpenCursor() override;
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;

 protected:
  void CreateHandle() override;

 private:
  // The named databases of the engine, local or remote.
  void AddNamedDatabases(bool remote);

  std::vector<TDBListObject> items_;
  size_t next_ = 0;
};

class TBtrSqlSession : public TBtrSession {
 public:
  TBtrSqlSession(TBapiListItem* engine, TVaderCollection* collection, const char* name,
                 const char* dir);
  ~TBtrSqlSession() override;

  void AdjustDbType(bool keepType, DatabaseDesc& desc) override;
  void CreateDatabase(const DatabaseDesc& desc, uint32_t openMode, uint32_t shareMode,
                      const char* password, uint16_t optCount, const FieldDesc* optDescs,
                      const void* optParams, TBaseDatabase*& database) override;
  void OpenDatabaseList(TBaseTable*& cursor) override;
};

}  // namespace vader
