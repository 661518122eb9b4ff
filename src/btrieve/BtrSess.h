#pragma once
// TBtrSession: the engine session of the Btrieve driver. Creating one on the main thread starts
// the Btrieve client library and reads the driver settings from the registry; every session
// has its own Btrieve client identifier, under which all its databases and tables call the
// record manager, so that the locks and transactions of two sessions never mix. Destroying a
// session that created databases stops its client; destroying the last one on the main thread
// unloads the library.
//
// Settings live under HKEY_LOCAL_MACHINE "\Software\Vader\Btrieve\Configuration", one subkey
// per group: "Btrieve Client" (Options, DLLName, IgnoreSQLDatabases), "Intl" (IgnoreAnsiOem,
// IgnoreOemAnsi, and AnsiCodePage and OemCodePage over the code pages of the user's locale),
// "Fields" (Read, Write, SmallIntAsByte, StringPaddedSpaces, IntegersShowAsZero), "Records"
// (TrueRecordCount) and "Default Session" (Name, Directory). Booleans are DWORD values (non-zero is
// on) or the texts 1/0, true/false, yes/no, on/off.

#include <cstdint>
#include <string>

#include "btrieve/BtrTypes.h"
#include "engine/BseSess.h"

namespace vader {

constexpr char kBtrieveDriverName[] = "BTRIEVE";
constexpr char kBtrieveRegistryPath[] = "\\Software\\Vader\\Btrieve";
// Name of a database opened by its directory.
constexpr char kBtrieveDirectoryDbName[] = "Btrieve (FILE.DDF)";
// Status of a client library that was started before.
constexpr int16_t B_ALREADY_INITIALIZED = 1016;
constexpr size_t kMaxClientOptionsLength = 255;

// The process-wide driver settings of the groups "Btrieve Client" and "Records"; the "Fields"
// group sets ConversionOptions() and "Intl" each session's character-set switches. Every
// session created on the main thread reads them again.
struct TBtrSettings {
  std::string Options;  // initialisation text of the client library
  std::string DllName;  // client library, lower-cased; empty: wbtrv32.dll
  bool IgnoreSQLDatabases = false;
  // Character-set switches every new session takes.
  bool IgnoreAnsiOem = false;
  bool IgnoreOemAnsi = false;
  // Record counts under a range or filter are counted by reading the records.
  bool TrueRecordCount = true;
};
TBtrSettings& BtrSettings();

class TBtrSession : public TBaseSession {
 public:
  // Raises the client library's status (with the options text) when it cannot be started; the
  // session is then not created.
  TBtrSession(TBapiListItem* engine, TVaderCollection* collection, const char* name,
              const char* dir);
  ~TBtrSession() override;

  const uint8_t* ClientID() const { return clientId_; }
  bool DatabasesOpened() const { return databasesOpened_; }

  void InitRegistryRoot() override;
  const char* GetDriverName() const override { return kBtrieveDriverName; }
  void CreateDatabase(const DatabaseDesc& desc, uint32_t openMode, uint32_t shareMode,
                      const char* password, uint16_t optCount, const FieldDesc* optDescs,
                      const void* optParams, TBaseDatabase*& database) override;
  // A directory path opens that directory as a database, its FILE.DDF the dictionary; any
  // other name is an alias.
  void OpenDatabase(const char* name, const char* dbType, uint32_t openMode, uint32_t shareMode,
                    const char* password, uint16_t optCount, const FieldDesc* optDescs,
                    const void* optParams, TBaseDatabase*& database) override;

 protected:
  // A driver that creates its own kind of database marks that the client was used.
  void MarkDatabasesOpened() { databasesOpened_ = true; }

 private:
  struct StartValues {
    std::string name;
    std::string dir;
    bool hasName = false;
    bool hasDir = false;
  };
  TBtrSession(TBapiListItem* engine, TVaderCollection* collection, const StartValues& start);
  // Reads the settings (and, on the main thread, starts the client library) before the base
  // session is built from the resolved name and directory.
  static StartValues Start(const char* name, const char* dir);

  uint8_t clientId_[kClientIdSize] = {};
  bool databasesOpened_ = false;
};

// A Btrieve client identifier from the time of day: bytes 12 to 15 are "A" + milliseconds mod
// 26, "A" + seconds mod 26, the hour and the minute. Bytes 0 to 7 carry a process-wide session
// count and the process id, so that two sessions created in the same millisecond still differ.
void BuildClientID(uint8_t (&id)[kClientIdSize]);

}  // namespace vader
