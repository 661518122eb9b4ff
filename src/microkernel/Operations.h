#pragma once
// The operation handlers, grouped by family. Each takes a decoded call whose client (and,
// where the operation needs an open file, cursor) has been validated.

#include "microkernel/Engine.h"

namespace vader::microkernel {

// File operations (FileOps.cpp).
Status OpOpen(Engine& engine, Call& c);
Status OpClose(Engine& engine, Call& c);
Status OpCreate(Call& c);
Status OpStat(Call& c);
Status OpCreateIndex(Call& c);
Status OpDropIndex(Call& c);
Status OpSetOwner(Call& c);
Status OpClearOwner(Call& c);

// Writes (RecordOps.cpp).
Status OpInsert(Call& c);
Status OpUpdate(Call& c);
Status OpDelete(Call& c);
Status OpInsertExtended(Call& c);
Status OpWriteBatch(Call& c);

// Reads (ReadOps.cpp).
Status OpGetByKey(Call& c);
Status OpStep(Call& c);
Status OpGetPosition(Call& c);
Status OpGetDirect(Call& c);
Status OpGetByPercentage(Call& c);
Status OpFindPercentage(Call& c);

// Extended reads (ExtendedOps.cpp).
Status OpExtended(Call& c);

// Bulk scans straight from the storage (ScanOps.cpp, see RecordScan.h).
Status OpScanRecords(Cursor& cursor, int8_t keyNumber, int8_t start, const uint8_t* key,
                     uint8_t keyLength, RecordSink& sink);

// Transactions, locks and the client (ControlOps.cpp).
Status OpBeginTransaction(Call& c, bool noWait);
Status OpEndTransaction(Call& c, bool commit);
Status OpStatement(Call& c);
Status OpUnlock(Call& c);
Status OpStop(Engine& engine, Call& c);
Status OpVersion(Call& c);
Status OpSetDirectory(Call& c);
Status OpGetDirectory(Call& c);

// Shared by the read and write handlers (ReadOps.cpp).
// Copies a record to the data buffer: nothing (22) when the fixed part does not fit, as much
// as fits (22) of a longer variable-length record.
Status ReturnRecord(Call& c, const Bytes& record);
// Takes the lock that the call's bias asks for on record `pos`; `taken` tells whether the
// block did not hold it before.
Status TakeLock(Call& c, uint32_t pos, bool& taken);

}  // namespace vader::microkernel
