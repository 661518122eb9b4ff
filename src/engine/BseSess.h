#pragma once
// The engine session: the working context under the call layer. It owns the open databases,
// resolves a database name (a directory, or an alias registered in the system registry or added
// at run time), opens databases through its driver, keeps the run-time configuration records,
// answers the session, client and system information requests, converts text between the ANSI
// and OEM character sets and keeps its network and private directories. Drivers derive from it
// and supply the registry location, the driver name and the creation of databases.
//
// The virtual operations are declared in their fixed order; the SessionReserved ones keep their
// places for the drivers and have no operation behind them. Operations the base cannot do raise
// DBIERR_NOTSUPPORTED with the string resource named beside each.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/BseBapi.h"
#include "engine/BseColl.h"
#include "engine/BseDbase.h"
#include "engine/BseTable.h"

namespace vader {

class TRightsRegistry;

#pragma pack(push, 1)
struct SessionInfo {
  uint16_t SessionIndex;  // position in the call layer's session list
  char SessionName[32];
  uint16_t DatabaseCount;
  uint16_t CursorCount;  // cursors open on all of the session's databases
  uint16_t LockWait;
  char NetDir[261];
  char PrivateDir[261];
};

struct ClientInfo {
  char Name[32];  // left empty
  uint16_t SessionCount;
  char WorkingDir[261];  // the network directory
  char Reserved[32];
};

struct SysInfo {
  uint16_t BufferSpace;
  uint16_t HeapSpace;
  uint16_t Drivers;
  uint16_t Clients;
  uint16_t Sessions;
  uint16_t Databases;
  uint16_t Cursors;
};

// One row of a configuration list.
struct CfgInfoRecord {
  char NodeName[32];
  char Description[128];
  uint16_t DataType;
  char Value[128];
  uint16_t HasSubNodes;  // 16-bit boolean
};
#pragma pack(pop)
static_assert(sizeof(SessionInfo) == 562);
static_assert(offsetof(SessionInfo, DatabaseCount) == 34);
static_assert(offsetof(SessionInfo, NetDir) == 40);
static_assert(offsetof(SessionInfo, PrivateDir) == 301);
static_assert(sizeof(ClientInfo) == 327);
static_assert(offsetof(ClientInfo, WorkingDir) == 34);
static_assert(sizeof(SysInfo) == 14);
static_assert(offsetof(SysInfo, Sessions) == 8);
static_assert(sizeof(CfgInfoRecord) == 292);
static_assert(offsetof(CfgInfoRecord, DataType) == 160);
static_assert(offsetof(CfgInfoRecord, Value) == 162);
static_assert(offsetof(CfgInfoRecord, HasSubNodes) == 290);

// Session properties.
constexpr uint32_t kSessionCurrentDirProp = 0x20002;
constexpr uint32_t kSessionOptionProp = 0x20003;
constexpr uint32_t kSessionOptionAliasProp = 0x2000C;

// Most parameters an alias definition holds, and the room of their values.
constexpr int kMaxAliasParams = 17;
constexpr size_t kAliasValueBufferSize = 1025;

constexpr char kVaderDriverName[] = "VADER";
constexpr size_t kMaxSessionNameLength = 31;

// A configuration handle (not used by the base).
using TCfgHandle = const void*;

class TBaseSession : public TBapiListItem {
 public:
  // The call layer creates sessions through a class reference (ClassOf<T>()), which runs the
  // second construction step: InitRegistryRoot, the driver's. `name` and `dir` may be nullptr.
  TBaseSession(TBapiListItem* engine, TVaderCollection* collection, const char* name,
               const char* dir);
  // Frees the databases (and their cursors), the configuration records and the lists.
  ~TBaseSession() override;

  // 0x20002: the process's current directory, at most maxLen characters, Len its length + 1;
  // 0x20003 and 0x2000C: the session option (4 bytes); others raise DBIERR_NOTSUPPORTED.
  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  // 0x20003 and 0x2000C set the session option; others (0x20002 included) are ignored.
  void SetProp(uint32_t propId, int32_t value) override;

  virtual void SessionReserved4(uint16_t value) { sessionWord_ = value; }
  // Sets the registry location (root key and path); a session without one leaves both empty.
  virtual void InitRegistryRoot() = 0;
  virtual int32_t SessionReserved6() { return 0; }
  // Everything of `info` but LockWait.
  virtual void FillSesInfo(SessionInfo& info);
  virtual const char* GetDriverName() const { return kVaderDriverName; }
  // Without keepType the type becomes "STANDARD".
  virtual void AdjustDbType(bool keepType, DatabaseDesc& desc);
  // The description of a directory ("PATH") or of a known alias; an unknown name raises
  // DBIERR_UNKNOWNDB with the name.
  virtual void GetDatabaseDesc(const char* name, DatabaseDesc& desc, bool keepType);
  virtual void GetDatabaseDescStd(const char* name, DatabaseDesc& desc);
  virtual void SessionReserved12();  // 9081
  virtual void SessionReserved13();  // 9082
  virtual void SessionReserved14();  // 9083
  virtual void SessionReserved15();  // 9084
  virtual void SessionReserved16();  // 9085
  virtual void SessionReserved17();  // 9086
  // Creates the driver's database object in Databases(); 9114 in the base.
  virtual void CreateDatabase(const DatabaseDesc& desc, uint32_t openMode, uint32_t shareMode,
                              const char* password, uint16_t optCount, const FieldDesc* optDescs,
                              const void* optParams, TBaseDatabase*& database);
  // Resolves `name` (unless the parameters "Description" and "PhysicalName" describe it) and
  // creates the database. `dbType` is not used.
  virtual void OpenDatabase(const char* name, const char* dbType, uint32_t openMode,
                            uint32_t shareMode, const char* password, uint16_t optCount,
                            const FieldDesc* optDescs, const void* optParams,
                            TBaseDatabase*& database);
  virtual void SessionReserved20(uint32_t& value) { value = 0; }
  // Zeroes 156 bytes of `record`.
  virtual void SessionReserved21(uint32_t arg, void* record);
  // The run-time and registered aliases, as DatabaseDesc records; an opened cursor.
  virtual void OpenDatabaseList(TBaseTable*& cursor);
  // Frees `cursor` when set and clears it.
  virtual void CloseList(TBaseTable*& cursor);
  virtual void SessionReserved24() {}
  virtual void SessionReserved25(uint32_t arg, void*& address);
  virtual void SessionReserved26();  // 9087
  // With `all`, the sum of every database's count (a database on which the table is not open
  // raises NOSUCHTABLE, which ends the count); otherwise 0.
  virtual void GetTableOpenCount(bool all, const char* name, const char* driverType,
                                 uint32_t& count);
  virtual void SessionReserved28();  // 9088
  virtual void SessionReserved29();  // 9089
  virtual void SessionReserved30();  // 9090
  virtual void SessionReserved31();  // 9091
  virtual void SessionReserved32();  // 9092
  virtual void SessionReserved33();  // 9093
  // `length` bytes of `source` into `dest` (room for `length` bytes), OEM to ANSI / ANSI to
  // OEM, or copied when the matching switch is set. DataLoss is always 0.
  virtual void NativeToAnsi(const void* ldObj, char* dest, const char* source, uint32_t length,
                            uint32_t& dataLoss);
  virtual void AnsiToNative(const void* ldObj, char* dest, const char* source, uint32_t length,
                            uint32_t& dataLoss);
  // With a cursor, the cursor's callback registration (which refuses); without, 9094.
  virtual void RegisterCallBack(TBaseTable* cursor, uint32_t kind, uintptr_t clientData,
                                uint16_t bufferLength, void* buffer, void* callback);
  // The same for the cursor's next (unsupported) registration; without a cursor, 9095.
  virtual void SessionReserved37(TBaseTable* cursor, uint32_t kind, uintptr_t clientData,
                                 uint16_t bufferLength, void* buffer, void* callback);
  virtual void SessionReserved38();  // 9096
  virtual void SessionReserved39();  // 9097
  virtual void SessionReserved40();  // 9098
  virtual void SessionReserved41() {}
  // Zeroes 32 bytes of `record`.
  virtual void SessionReserved42(void* record);
  // Zeroes 346 bytes of `record`, then sets its first and third 16-bit words to -1.
  virtual void SessionReserved43(void* record);
  virtual void GetClientInfo(ClientInfo& info);
  // DBIERR_DRIVERLIMIT.
  virtual void SessionReserved45();
  virtual void GetSysInfo(SysInfo& info);
  // FillSesInfo, then LockWait.
  virtual void GetSesInfo(SessionInfo& info);
  virtual std::string GetNetUserName();
  // Parses `params` ("NAME: \"value\";...") into a run-time configuration record of the alias.
  // `driverType` and `persist` are not used. An 18th parameter raises ERangeError.
  virtual void AddAlias(TCfgHandle cfg, const char* name, const char* driverType,
                        const char* params, bool persist);
  // Deletes the run-time records of alias `name`; nothing to delete is not an error.
  virtual void DeleteAlias(TCfgHandle cfg, const char* name);
  // Every completed pair of `params` as a string value of the open key of `registry`.
  virtual void WriteAliasParams(TRightsRegistry& registry, const char* params);
  // The registry key "<RegistryPath>\Aliases\<name>", created when missing, given `params`.
  virtual void AddAliasToRegistry(const char* name, const char* params);
  virtual void DeleteAliasFromRegistry(const char* name);
  // Fills the configuration list `list` (rows of CfgInfoRecord) for the path it is named by.
  virtual void ReadCfgInfo(TBaseTable* list);
  virtual void SessionReserved55();  // 9102
  virtual void SessionReserved56();  // 9103
  virtual void SessionReserved57();  // 9104
  virtual void SessionReserved58();  // 9105
  // Succeeds when some configuration record's path contains `text`; else EVaderEOFError.
  virtual void FindCfgPath(TCfgHandle cfg, const char* text);
  virtual void SessionReserved60();  // 9107
  // The record of exactly `path`: its field count, and when given its descriptors (count x 62
  // bytes) and its values; none raises EVaderEOFError.
  virtual void GetCfgRecord(TCfgHandle cfg, const char* path, int32_t& count, FieldDesc* descs,
                            void* values);
  // UpdateCfgRecord, or a new record when there is none of that path.
  virtual void SetCfgRecord(TCfgHandle cfg, const char* path, int32_t count,
                            const FieldDesc* descs, const void* values);
  // Replaces the fields of the record of exactly `path`; none raises EVaderEOFError.
  virtual void UpdateCfgRecord(TCfgHandle cfg, const char* path, int32_t count,
                               const FieldDesc* descs, const void* values);
  // Frees every record whose path contains `text`, the last first; none raises EVaderEOFError.
  virtual void DeleteCfgRecords(TCfgHandle cfg, const char* text);
  virtual void SessionReserved65();  // 9108
  virtual void SessionReserved66();  // 9109
  virtual void SessionReserved67();  // 9110
  virtual void SessionReserved68();  // 9111
  virtual void SessionReserved69();  // 9112
  virtual void SessionReserved70();  // 9113

  // At most 260 characters.
  void SetPrivateDir(const char* dir);
  // An in-memory list of CfgInfoRecord rows for `path`, owned by the session and positioned
  // before its first row. `cfg`, `openMode` and `configMode` are not used.
  void OpenCfgInfoList(TCfgHandle cfg, uint32_t openMode, uint32_t configMode, const char* path,
                       TBaseTable*& list);

  uint32_t RegistryRoot() const { return registry_.Root; }
  std::string RegistryPath() const;
  // The root and path as one record, as the database lists read it.
  const RegistryLocation& Registry() const { return registry_; }
  bool IgnoreAnsiOem() const { return ignoreAnsiOem_; }
  bool IgnoreOemAnsi() const { return ignoreOemAnsi_; }
  int32_t LockWait() const { return lockWait_; }
  TVaderCollection& Databases() { return databases_; }
  TVaderCollection& CfgRecords() { return cfgRecords_; }
  TVaderCollection& MemTables() { return memTables_; }
  uint16_t SessionWord() const { return sessionWord_; }
  const char* SessionName() const { return sessionName_; }
  const char* NetDir() const { return netDir_; }
  const char* PrivateDir() const { return privateDir_; }
  int32_t SessionOption() const { return sessionOption_; }

 protected:
  void AfterConstruction() override;
  // Sets the registry location (path at most 255 characters).
  void SetRegistry(uint32_t root, const char* path);
  void SetCharSetSwitches(bool ignoreOemAnsi, bool ignoreAnsiOem);
  // The key "<RegistryPath>\Aliases\<name>" as an absolute registry path.
  std::string AliasKeyPath(const std::string& name) const;

 private:
  RegistryLocation registry_{};
  bool ignoreAnsiOem_ = false;
  bool ignoreOemAnsi_ = false;
  uint32_t sessionReservedWord_ = 0;
  int32_t lockWait_ = 0;
  TVaderCollection databases_;
  TVaderCollection cfgRecords_;
  uint16_t sessionWord_ = 0;
  char sessionName_[kMaxSessionNameLength + 1] = {};
  char netDir_[kMaxPathLength + 1] = {};
  char privateDir_[kMaxPathLength + 1] = {};
  TVaderCollection memTables_;
  int32_t sessionOption_ = 0;
};

}  // namespace vader
