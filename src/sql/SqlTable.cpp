#include "sql/SqlTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrTypes.h"
#include "engine/BseDbase.h"
#include "engine/BseSess.h"
#include "engine/BseUtils.h"
#include "framework/DateTimes.h"
#include "platform/Bytes.h"
#include "platform/CodePage.h"
#include "sql/SqlErrs.h"
#include "sql/Sqlapi.h"

namespace vader {
namespace {

constexpr int16_t SQL_SUBST_UNRESOLVED = -108;
constexpr int16_t SQL_NO_MORE_RECORDS = -109;
constexpr int16_t SQL_INVALID_COLUMN = 804;
constexpr int16_t SQL_NO_VIEW = 231;
constexpr char kAllFields[] = "*.*";
constexpr uint16_t kDescribeNameSize = 256;

template <class T>
T LoadValue(const void* value, uint16_t length) {
  T v{};
  std::memcpy(&v, value, std::min<size_t>(sizeof v, length));
  return v;
}

std::string DateText(int32_t dayNumber) {
  int year = 0, month = 0, day = 0;
  DecodeDayNumber(dayNumber, year, month, day);
  char text[32];
  std::snprintf(text, sizeof text, "%4.4u-%2.2u-%2.2u", unsigned(year), unsigned(month),
                unsigned(day));
  return text;
}

std::string TimeText(int32_t msecs, bool hundredths) {
  const auto ms = static_cast<uint32_t>(std::clamp<int32_t>(msecs, 0, 86399999));
  char text[32];
  if (hundredths && ms % 1000 != 0)
    std::snprintf(text, sizeof text, "%2.2u:%2.2u:%2.2u:%2.2u", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000 / 10);
  else
    std::snprintf(text, sizeof text, "%2.2u:%2.2u:%2.2u", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60);
  return text;
}

template <class T>
std::string Decimal(T value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string FloatText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, result.ptr);
}

// Whether `name` (upper-cased) names a computed column of that function.
bool Computes(const std::string& upper, const char* function) {
  return upper.find(function) != std::string::npos;
}

}  // namespace

// ---- statement text ----

std::string RewriteStatementText(std::string_view sql) {
  std::string text(sql);
  bool quoted = false;
  for (char& c : text) {
    if (c == '\'' || c == '"')
      quoted = !quoted;
    else if (c == ':' && !quoted)
      c = '@';
  }
  std::string out;
  out.reserve(text.size() + 16);
  int marker = 0;
  for (const char c : text) {
    if (c != '?') {
      out += c;
      continue;
    }
    char name[16];
    std::snprintf(name, sizeof name, "@QVAR%4.4d", marker++ % 10000);
    out += name;
  }
  return out;
}

size_t OffsetBeforeRewrite(std::string_view native, size_t at) {
  constexpr size_t kMarkerLength = sizeof "@QVAR0000" - 1;
  size_t rewritten = 0, i = 0;
  for (; i < native.size(); ++i) {
    const size_t width = native[i] == '?' ? kMarkerLength : 1;
    if (rewritten + width > at) break;
    rewritten += width;
  }
  return i;
}

std::string ParameterText(uint16_t type, const void* value, uint16_t length) {
  switch (type) {
    case fldZSTRING: {
      const char* text = static_cast<const char*>(value);
      return std::string(text, strnlen(text, length));
    }
    case fldDATE:
      return DateText(LoadValue<int32_t>(value, length));
    case fldBOOL:
      return LoadValue<uint16_t>(value, length) != 0 ? "true" : "false";
    case fldINT16:
      return Decimal(LoadValue<int16_t>(value, length));
    case fldINT32:
      return Decimal(LoadValue<int32_t>(value, length));
    case fldUINT16:
      return Decimal(LoadValue<uint16_t>(value, length));
    case fldUINT32:
      return Decimal(LoadValue<uint32_t>(value, length));
    case fldFLOAT:
    case fldBCD:
    case fldFLOATIEEE:
      return FloatText(LoadValue<double>(value, length));
    case fldTIME:
      return TimeText(LoadValue<int32_t>(value, length), true);
    case fldTIMESTAMP: {
      const double ms = LoadValue<double>(value, length);
      if (!std::isfinite(ms) || ms < 0 || ms > 1e16) return {};
      const double days = std::floor(ms / kMSecsPerDay);
      const auto dayMs = static_cast<int32_t>(ms - days * kMSecsPerDay);
      return DateText(static_cast<int32_t>(days)) + " " + TimeText(dayMs, false);
    }
    case fldINT64:
      return Decimal(LoadValue<int64_t>(value, length));
    case fldUINT64:
      return Decimal(LoadValue<uint64_t>(value, length));
    default:
      return {};
  }
}

// ---- TSSQLSqlStmt ----

TSSQLSqlStmt::TSSQLSqlStmt(TBapiListItem* database, TVaderCollection* collection, const char* sql,
                           uint16_t language, int32_t kind, int16_t sessionId,
                           const uint8_t* clientId)
    : TSqlStmt(database, collection, sql, language), sessionId_(sessionId), clientId_(clientId) {
  stmtOption_ = kind;
}

TSSQLSqlStmt::~TSSQLSqlStmt() {
  try {
    Release();
  } catch (const EVaderEngineError&) {
    // A destructor cannot report the engine's answer; the cursor goes with the session.
  }
}

void TSSQLSqlStmt::MakeCurrent() const { sqlapi::PutSessionID(sessionId_); }

void TSSQLSqlStmt::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  if (propId != stmtROWSAFFECTED) return TSqlStmt::GetProp(propId, value, maxLen, len);
  int32_t rows = -1;
  if (cursorId_ != -1) {
    MakeCurrent();
    if (sqlapi::Status(cursorId_, SQL_STATUS_CHANGED_ROWS, rows) != 0) rows = -1;
  }
  PutPropValue(&rows, sizeof rows, value, maxLen, len);
}

bool TSSQLSqlStmt::HasView() const {
  int16_t type = 0, size = 0, decimals = 0, nameLength = kDescribeNameSize;
  char name[kDescribeNameSize + 1] = {};
  MakeCurrent();
  return sqlapi::Describe(cursorId_, 1, type, size, decimals, nameLength, name) != SQL_NO_VIEW;
}

namespace {

// Statement text in the database's code page, so that its texts compare with and are stored
// as the table windows store them; a character that code page cannot hold is refused.
std::string StatementText(const TBaseDatabase* database, std::string_view text) {
  if (database == nullptr) return platform::CharToOem(text);
  platform::EncodedText native = platform::AnsiTextToNative(text, database->TextCodePage());
  if (!native.ok)
    RaiseEngineErrorContext(DBIERR_INVALIDPARAM,
                            "\"" + platform::Utf8ToAnsi(native.refused) + "\" (" +
                                platform::CharacterCodeText(native.refused) + ")");
  return std::move(native.bytes);
}

// StatementText's bytes back in the text as the caller gave it.
std::string GivenText(const TBaseDatabase* database, std::string_view native) {
  if (database == nullptr) return platform::OemToChar(native);
  return platform::NativeTextToAnsi(native, database->TextCodePage());
}

}  // namespace

void TSSQLSqlStmt::SetText(const char* sql) {
  givenText_.clear();
  if (sql == nullptr) return StoreText(std::nullopt);
  StoreText(RewriteStatementText(StatementText(dynamic_cast<const TBaseDatabase*>(Owner()), sql)));
  givenText_ = sql;
}

// The engine tells the place in the text it compiled: in the database's code page, each "?"
// a longer variable name. It is told back in the text as given.
void TSSQLSqlStmt::RaiseCompileError(int16_t status) const {
  EScalableSQLEngineError error(status);
  int32_t offset = -1, length = 0;
  const char* compiled = SqlText();
  if (!givenText_.empty() && compiled != nullptr &&
      sqlapi::Status(cursorId_, SQL_STATUS_ERROR_OFFSET, offset) == 0 && offset >= 0 &&
      sqlapi::Status(cursorId_, SQL_STATUS_ERROR_LENGTH, length) == 0 && length >= 0 &&
      static_cast<size_t>(offset) + static_cast<size_t>(length) <= std::strlen(compiled)) {
    const auto* database = dynamic_cast<const TBaseDatabase*>(Owner());
    const std::string native = StatementText(database, givenText_);
    const size_t begin = OffsetBeforeRewrite(native, static_cast<size_t>(offset));
    const size_t end = OffsetBeforeRewrite(native, static_cast<size_t>(offset + length));
    const auto given = [&](size_t at) { return GivenText(database, native.substr(0, at)); };
    const std::string before = given(begin), through = given(end);
    const std::string token = through.size() > before.size() ? through.substr(before.size()) : "";
    error.SetStatementPosition({static_cast<int32_t>(before.size()), token});
  }
  throw error;
}

void TSSQLSqlStmt::Allocate() {
  Release();
  const char* text = SqlText();
  if (text == nullptr) return;
  MakeCurrent();
  CheckSQLStatus(sqlapi::Cursor(cursorId_));
  const size_t length = std::strlen(text);
  if (length > 0xFFFF) RaiseEngineError(DBIERR_INVALIDPARAM);
  const int16_t status = sqlapi::Compile(cursorId_, static_cast<uint16_t>(length), text);
  if (status > 0 && status != B_END_OF_FILE) RaiseCompileError(status);
  if (status != SQL_SUBST_UNRESOLVED) CheckSQLStatus(status);
}

void TSSQLSqlStmt::Release() {
  if (cursorId_ == -1) return;
  const int16_t cursor = cursorId_;
  cursorId_ = -1;
  if (result_ != nullptr) {
    // The result table still reads the view: it frees the cursor when it closes.
    result_->AdoptCursor();
    result_ = nullptr;
    return;
  }
  MakeCurrent();
  CheckSQLStatus(sqlapi::Free(cursor));
}

void TSSQLSqlStmt::SetParams(uint16_t count, const FieldDesc* descs, const void* recordBuffer) {
  if (count == 0) return;
  CheckParam(descs);
  CheckParam(recordBuffer);
  if (cursorId_ == -1) Allocate();
  auto* database = dynamic_cast<TBaseDatabase*>(Owner());
  for (uint16_t i = 0; i < count; ++i) {
    const FieldDesc& desc = descs[i];
    if (desc.FieldName[0] != '\0') continue;
    const auto* value = static_cast<const uint8_t*>(recordBuffer) + desc.FieldOffset;
    std::string text = ParameterText(desc.FieldType, value, desc.FieldLength);
    if (desc.FieldType == fldZSTRING && !text.empty()) text = StatementText(database, text);
    char name[16];
    std::snprintf(name, sizeof name, "QVAR%4.4d", i % 10000);
    if (text.size() >= 0x7FFF) RaiseEngineError(DBIERR_INVALIDPARAM);
    MakeCurrent();
    CheckSQLStatus(sqlapi::Subst(cursorId_, 1, static_cast<int16_t>(std::strlen(name) + 1), name,
                                 static_cast<int16_t>(text.size() + 1), text.c_str()));
  }
}

void TSSQLSqlStmt::SetProcParams(uint16_t count, const FieldDesc* /*descs*/,
                                 const void* /*recordBuffer*/) {
  MakeCurrent();
  if (count != 0 && cursorId_ == -1) Allocate();
}

void TSSQLSqlStmt::Execute(TBaseTable** cursor) {
  MakeCurrent();
  if (cursorId_ == -1) {
    Allocate();  // compiling runs a statement that produces no view
    if (cursor == nullptr) return;
    // Such a statement has run once: there is no result to read, and it must not run again.
    if (!HasView()) {
      *cursor = nullptr;
      return;
    }
  } else if (cursor == nullptr) {
    CheckSQLStatus(sqlapi::Exec(cursorId_));
    return;
  }
  *cursor = nullptr;
  CheckSQLStatus(sqlapi::Exec(cursorId_));
  auto* database = CheckParam(dynamic_cast<TBaseDatabase*>(Owner()));
  std::unique_ptr<TBtrSqlBaseTable> table;
  if (stmtOption_ == kSqlStmtProcedure)
    table.reset(TBaseTable::Create<TBtrSqlAggTable>(database, &database->Tables(), this,
                                                    sessionId_, clientId_, cursorId_));
  else
    table.reset(TBaseTable::Create<TBtrSqlBaseTable>(database, &database->Tables(), this,
                                                     sessionId_, clientId_, cursorId_));
  table->OpenCursor();
  if (result_ != nullptr) result_->statement_ = nullptr;
  result_ = table.get();
  *cursor = table.release();
}

// ---- TBtrSqlBaseTable ----

TBtrSqlBaseTable::TBtrSqlBaseTable(TBapiListItem* database, TVaderCollection* collection,
                                   TSSQLSqlStmt* statement, int16_t sessionId,
                                   const uint8_t* clientId, int16_t cursorId)
    : TBtrBaseTable(database, collection, "", nullptr, kOpenReadWrite, kShareShared, clientId),
      statement_(statement),
      cursorId_(cursorId),
      sessionId_(sessionId) {}

TBtrSqlBaseTable::~TBtrSqlBaseTable() {
  if (statement_ != nullptr && statement_->result_ == this) statement_->result_ = nullptr;
  if (ownsCursor_) {
    MakeCurrent();
    sqlapi::Free(cursorId_);  // a destructor cannot report the answer
  }
}

void TBtrSqlBaseTable::MakeCurrent() const { sqlapi::PutSessionID(sessionId_); }

void TBtrSqlBaseTable::Check(int16_t status) { CheckSQLStatus(status); }

void TBtrSqlBaseTable::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  switch (propId) {
    case 0:
      return PutPropValue(&flag0_, sizeof flag0_, value, maxLen, len);
    case 1:
      return PutPropValue(&cursorId_, sizeof cursorId_, value, maxLen, len);
    default:
      TBtrBaseTable::GetProp(propId, value, maxLen, len);
  }
}

void TBtrSqlBaseTable::SetProp(uint32_t propId, int32_t value) {
  switch (propId) {
    case 0:
      flag0_ = static_cast<uint8_t>(value);
      return;
    case 1:
      RaiseEngineError(DBIERR_NOTSUPPORTED);
    default:
      TBtrBaseTable::SetProp(propId, value);
  }
}

void TBtrSqlBaseTable::CheckProp(uint32_t propId, bool forWrite) {
  if (propId == 0) return;
  if (propId == 1) {
    if (forWrite) RaiseEngineError(DBIERR_NOTSUPPORTED);
    return;
  }
  TBtrBaseTable::CheckProp(propId, forWrite);
}

uint8_t* TBtrSqlBaseTable::GetDataBuffer() const {
  return currentData_ != nullptr ? currentData_ : const_cast<uint8_t*>(ownBuffer_.data());
}

void TBtrSqlBaseTable::OpenCursor() {
  state_ = TCursorState::Closed;
  MakeCurrent();
  Check(sqlapi::Exec(cursorId_));
  // A view the engine cannot change at its rows (a join, a grouping) is read-only; an engine
  // that cannot tell leaves every change to be tried.
  int32_t updatable = 1;
  updatable_ = sqlapi::Status(cursorId_, SQL_STATUS_UPDATABLE, updatable) != 0 || updatable != 0;
  CursorProps props{};
  GetCursorProps(props);  // describes the columns and sizes the row buffer
  state_ = TCursorState::Unpositioned;
}

TBtrSqlBaseTable::Column TBtrSqlBaseTable::DescribeColumn(int16_t n) {
  Column column;
  char name[kDescribeNameSize + 1] = {};
  int16_t nameLength = kDescribeNameSize;
  MakeCurrent();
  Check(sqlapi::Describe(cursorId_, n, column.type, column.size, column.decimals, nameLength,
                         name));
  nameLength = std::clamp<int16_t>(nameLength, 0, kDescribeNameSize);
  column.name.assign(name, strnlen(name, static_cast<size_t>(nameLength)));
  if (column.size == 0 && column.type == 0 && !column.name.empty()) {
    std::string upper = column.name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (Computes(upper, "COUNT(")) {
      column.type = BT_INTEGER;
      column.size = 4;
    } else if ((Computes(upper, "SUM(") || Computes(upper, "AVG(")) && column.decimals == 0) {
      column.type = BT_FLOAT;
      column.size = 8;
    }
  }
  if (column.size < 0) RaiseEngineError(DBIERR_INVALIDRECSTRUCT);
  return column;
}

void TBtrSqlBaseTable::LoadFieldDesc(uint16_t n, const void* /*fieldRecord*/, FieldDesc& desc,
                                     uint16_t& localType, uint16_t& localSize) {
  CheckCondition(n >= 1 && n <= kMaxFieldDescs, DBIERR_INVALIDPARAM);
  uint32_t offset = 2;
  Column column;
  for (int16_t i = 1; i <= static_cast<int16_t>(n); ++i) {
    column = DescribeColumn(i);
    if (i < static_cast<int16_t>(n)) offset += static_cast<uint16_t>(column.size);
  }
  if (column.size == 0 && column.name.empty()) RaiseEngineError(DBIERR_INVALIDPARAM);
  CheckCondition(offset + static_cast<uint32_t>(column.size) <= 0xFFFF, DBIERR_INVALIDRECSTRUCT);
  std::string name = column.name;
  std::replace(name.begin(), name.end(), '^', '_');
  DictionaryField entry{};
  entry.FieldId = n;
  entry.DataType = static_cast<uint8_t>(column.type);
  entry.Offset = static_cast<uint16_t>(offset);
  entry.Size = static_cast<uint16_t>(column.size);
  entry.Decimals = static_cast<uint8_t>(column.decimals);
  std::memcpy(entry.Name, name.data(), std::min(name.size(), sizeof entry.Name));
  BuildFieldDesc(entry, n, &desc);
  CopyToBuffer(desc.FieldName, std::string_view(name).substr(0, kMaxFieldNameLength));
  localType = entry.DataType;
  localSize = entry.Size;
}

void TBtrSqlBaseTable::GetCursorProps(CursorProps& props) {
  uint32_t size = 2;
  TVaderFieldCache& cache = FieldCache();
  for (uint16_t n = 1; n <= kMaxFieldDescs; ++n) {
    if (n > cache.Count()) {
      FieldDesc desc{};
      uint16_t localType = 0, localSize = 0;
      try {
        LoadFieldDesc(n, nullptr, desc, localType, localSize);
      } catch (const EScalableSQLEngineError& e) {
        if (e.NativeError() == SQL_INVALID_COLUMN) break;
        throw;
      } catch (const EVaderEngineError& e) {
        if (e.Code() == DBIERR_INVALIDPARAM) break;  // no column at this position
        throw;
      }
      TFieldCacheItem::Create(cache, desc, n, localType, localSize);
    }
    size += cache.GetItem(n).FieldLength();
  }
  CheckCondition(cache.Count() > 0, DBIERR_INVALIDRECSTRUCT);
  RegisterBlobFields();
  recordSize_ = size + 4;
  CheckCondition(recordSize_ <= 0xFFFF, DBIERR_INVALIDRECSTRUCT);
  if (ownBuffer_.size() < recordSize_) ownBuffer_.resize(recordSize_);
  TBtrBaseTable::GetCursorProps(props);
  if (!updatable_) props.CursorOpenMode = kOpenReadOnly;
  props.FieldCount = static_cast<uint16_t>(cache.Count());
  props.RecSize = static_cast<uint16_t>(recordSize_);
  props.RecBufSize = static_cast<uint16_t>(recordSize_);
}

void TBtrSqlBaseTable::FetchRow(int16_t option) {
  uint16_t length = static_cast<uint16_t>(recordSize_);
  int32_t count = 1;
  MakeCurrent();
  const int16_t status =
      sqlapi::Fetch(cursorId_, option, length, CheckParam(GetDataBuffer()), count, 0, 0);
  if (status == SQL_NO_MORE_RECORDS) {
    if (count > 0) return;
    if (option == kFetchFirst || option == kFetchPrevious) RaiseBOF();
    RaiseEOF();
  }
  Check(status);
}

void TBtrSqlBaseTable::GetBookMark(void* bookmark) {
  CheckParam(bookmark);
  std::memset(bookmark, 0, kBookmarkSize);
  uint16_t length = kBookmarkSize;
  int32_t count = 1, reject = 0;
  MakeCurrent();
  const int16_t status = sqlapi::XFetch(cursorId_, kFetchPosition, length, bookmark, count, reject);
  if (status != SQL_NO_MORE_RECORDS) Check(status);
  if (count == 0) RaiseEngineError(DBIERR_NOCURRREC);
}

std::vector<uint8_t> TBtrSqlBaseTable::FetchAtBookmark(const void* bookmark, int16_t option) {
  CheckParam(bookmark);
  const uint16_t markLength = platform::Load<uint16_t>(static_cast<const uint8_t*>(bookmark));
  if (markLength > kBookmarkSize - 2) RaiseEngineError(DBIERR_INVALIDBOOKMARK);
  std::vector<uint8_t> scratch(3 * std::max(recordSize_, kBookmarkSize), 0);
  std::memcpy(scratch.data(), bookmark, 2u + markLength);
  uint16_t length = static_cast<uint16_t>(std::min<size_t>(scratch.size(), 0xFFFF));
  int32_t count = 1, reject = -1;
  MakeCurrent();
  const int16_t status = sqlapi::XFetch(cursorId_, option, length, scratch.data(), count, reject);
  if (status != SQL_NO_MORE_RECORDS) Check(status);
  if (count == 0) RaiseEngineError(DBIERR_NOCURRREC);
  return scratch;
}

void TBtrSqlBaseTable::SetToBookMark(const void* bookmark) {
  FetchAtBookmark(bookmark, kFetchBookmark);
  state_ = TCursorState::OnRecord;
}

void TBtrSqlBaseTable::ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) {
  CheckParam(record);
  // The bookmark may be longer than a row: the row is read into room for both, then copied.
  const std::vector<uint8_t> row = FetchAtBookmark(
      bookmark, lock != dbiNOLOCK ? kFetchBookmark + kFetchLock : kFetchBookmark);
  std::memcpy(record, row.data(), recordSize_);
  state_ = TCursorState::OnRecord;
}

void TBtrSqlBaseTable::CompareBookMarks(const void* bookmark1, const void* bookmark2,
                                        int& result) {
  const auto* a = static_cast<const uint8_t*>(CheckParam(bookmark1));
  const auto* b = static_cast<const uint8_t*>(CheckParam(bookmark2));
  const uint16_t length = platform::Load<uint16_t>(a);
  if (length != platform::Load<uint16_t>(b) || length > kBookmarkSize - 2)
    RaiseEngineError(DBIERR_INVALIDBOOKMARK);
  result = 0;
  for (size_t at = 2; at + 4 <= 2u + length; at += 4) {
    const auto wa = platform::Load<int32_t>(a + at);
    const auto wb = platform::Load<int32_t>(b + at);
    if (wa != wb) {
      result = wa < wb ? -1 : 1;
      return;
    }
  }
}

bool TBtrSqlBaseTable::LastFieldIsMemo() {
  const int count = FieldCache().Count();
  return count > 0 && FieldCache().GetItem(count).FieldSubType() == fldstMEMO;
}

void TBtrSqlBaseTable::PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src) {
  if (item.FieldNumber() == FieldCache().Count() && item.FieldSubType() == fldstMEMO &&
      src != nullptr) {
    const auto* text = static_cast<const uint8_t*>(src);
    return PutBlob(record, item.FieldNumber(), 0, text[0], text + 1);
  }
  TBtrBaseTable::PutFieldValue(item, record, src);
}

void TBtrSqlBaseTable::SetVariableTailLength(uint8_t* record, uint16_t field, int32_t length) {
  CheckParam(record);
  const int32_t rowLength = FieldCache().GetItem(field).Desc().FieldOffset + length;
  platform::Store<uint16_t>(record, static_cast<uint16_t>(std::clamp(rowLength, 0, 0xFFFF)));
}

void TBtrSqlBaseTable::InsertRecord(TLockType lock, uint8_t* record) {
  CheckParam(record);
  if (platform::Load<uint16_t>(record) == 0) {
    uint32_t rowLength = recordSize_;
    if (LastFieldIsMemo() && BlobCount() > 0) {
      const FieldDesc& memo = FieldCache().GetItem(FieldCache().Count()).Desc();
      const auto* text = reinterpret_cast<const char*>(record + memo.FieldOffset);
      rowLength = memo.FieldOffset + static_cast<uint32_t>(strnlen(text, memo.FieldLength));
    }
    platform::Store<uint16_t>(record, static_cast<uint16_t>(rowLength));
  }
  MakeCurrent();
  Check(sqlapi::XInsert(cursorId_, 1, kAllFields, 1, record));
  SetDataBuffer(record);
  FetchRow(lock == dbiWRITELOCK ? kFetchLock : kFetchCurrent);
}

void TBtrSqlBaseTable::ModifyRecord(uint8_t* record, bool freeLock) {
  CheckParam(record);
  MakeCurrent();
  Check(sqlapi::XUpdate(cursorId_, 1, kAllFields, 1, record));
  SetDataBuffer(record);
  if (freeLock) {
    uint16_t length = 0;
    int32_t none = 0;
    MakeCurrent();
    sqlapi::Fetch(cursorId_, kFetchAfterUpdate, length, record, none, 0, 0);
  }
  FetchRow(kFetchCurrent);
}

void TBtrSqlBaseTable::DeleteRecord(uint8_t* /*record*/) {
  MakeCurrent();
  Check(sqlapi::XRemove(cursorId_, 1, kAllFields, 1));
  state_ = TCursorState::AtCrack;
}

void TBtrSqlBaseTable::ReadBlock(uint32_t& count, uint8_t* records) {
  CheckParam(records);
  const uint32_t wanted = count;
  count = 0;
  // The length of one fetch is 16-bit: a large block is fetched in parts.
  const uint32_t perFetch = std::max<uint32_t>(1, 0xFFFF / std::max<uint32_t>(recordSize_, 1));
  while (count < wanted) {
    const uint32_t rows = std::min(perFetch, wanted - count);
    uint16_t length = static_cast<uint16_t>(rows * recordSize_);
    int32_t fetched = static_cast<int32_t>(rows);
    MakeCurrent();
    const int16_t status = sqlapi::Fetch(cursorId_, kFetchNext, length,
                                         records + size_t{count} * recordSize_, fetched, 0, 0);
    if (status != SQL_NO_MORE_RECORDS) Check(status);
    count += static_cast<uint32_t>(std::clamp<int32_t>(fetched, 0, static_cast<int32_t>(rows)));
    if (fetched <= 0 || status == SQL_NO_MORE_RECORDS) break;
    state_ = TCursorState::OnRecord;
  }
  if (count < wanted) RaiseEOF();
}

void TBtrSqlBaseTable::WriteBlock(uint32_t& count, uint8_t* records) {
  CheckParam(records);
  // The engine takes at most 32767 rows in one call.
  const uint32_t wanted = count;
  count = 0;
  while (count < wanted) {
    const auto rows = static_cast<int16_t>(std::min<uint32_t>(wanted - count, 0x7FFF));
    MakeCurrent();
    Check(sqlapi::XInsert(cursorId_, 1, kAllFields, rows,
                          records + size_t{count} * recordSize_));
    count += static_cast<uint32_t>(rows);
  }
}

// ---- TBtrSqlAggTable ----

void TBtrSqlAggTable::FirstPhysical() {
  TBtrSqlBaseTable::FirstPhysical();
  rowNumber_ = 1;
}

void TBtrSqlAggTable::LastPhysical() {
  TBtrSqlBaseTable::LastPhysical();
  rowNumber_ = 0x7FFFFFFF;
}

void TBtrSqlAggTable::NextPhysical() {
  TBtrSqlBaseTable::NextPhysical();
  ++rowNumber_;
}

void TBtrSqlAggTable::PriorPhysical() {
  TBtrSqlBaseTable::PriorPhysical();
  --rowNumber_;
}

void TBtrSqlAggTable::GetBookMark(void* bookmark) {
  std::memcpy(CheckParam(bookmark), &rowNumber_, sizeof rowNumber_);
}

void TBtrSqlAggTable::SetToBookMark(const void* bookmark) {
  const auto wanted = platform::Load<int32_t>(static_cast<const uint8_t*>(CheckParam(bookmark)));
  uint8_t* previous = CurrentData();
  std::vector<uint8_t> scratch(GetRecordSize());
  state_ = TCursorState::Unpositioned;
  try {
    do {
      GetNextRecord(dbiNOLOCK, scratch.data(), nullptr);
    } while (rowNumber_ != wanted);
  } catch (...) {
    SetDataBuffer(previous);
    throw;
  }
  SetDataBuffer(previous);
  state_ = TCursorState::OnRecord;
}

void TBtrSqlAggTable::ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) {
  SetDataBuffer(CheckParam(record));
  SetToBookMark(bookmark);
  SetDataBuffer(record);
  // The row found is read into the caller's buffer, locked when asked.
  FetchRow(lock != dbiNOLOCK ? kFetchLock : kFetchCurrent);
}

void TBtrSqlAggTable::CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) {
  const auto a = platform::Load<int32_t>(static_cast<const uint8_t*>(CheckParam(bookmark1)));
  const auto b = platform::Load<int32_t>(static_cast<const uint8_t*>(CheckParam(bookmark2)));
  result = a < b ? -1 : (a > b ? 1 : 0);
}

// ---- TBtrSqlProcTable ----

TBtrSqlProcTable::TBtrSqlProcTable(TBapiListItem* database, TVaderCollection* collection,
                                   const std::string& directory, const uint8_t* clientId)
    : TBtrTable(database, collection,
                (directory + "PROC.DDF;OWNER:" + kDictionaryOwner).c_str(), nullptr,
                kOpenReadOnly, kShareShared, clientId),
      procRecord_(kProcRecordSize) {}

void TBtrSqlProcTable::OpenCursor() {
  SetFileName(GetTableName());
  TBtrTable::OpenCursor();
  Btr().SetAcceptShortBuffer(true);  // the records have a variable length
  Btr().SetBufferSize(kProcRecordSize);
}

void TBtrSqlProcTable::GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  ReadListed(lock, record, props, true);
}

void TBtrSqlProcTable::GetPriorRecord(TLockType lock, uint8_t* record, RecordProps* props) {
  ReadListed(lock, record, props, false);
}

// A procedure whose text spans several records is listed once, at its first record: the
// records after it carry a sequence number (offset 31) other than 0.
void TBtrSqlProcTable::ReadListed(TLockType lock, uint8_t* record, RecordProps* props,
                                  bool forward) {
  constexpr size_t kSequenceOffset = 31;
  do {
    std::fill(procRecord_.begin(), procRecord_.end(), 0);
    if (forward) TBtrTable::GetNextRecord(lock, procRecord_.data(), props);
    else TBtrTable::GetPriorRecord(lock, procRecord_.data(), props);
  } while (platform::Load<uint16_t>(procRecord_.data() + kSequenceOffset) != 0);
  if (record == nullptr) return;
  std::memset(record, 0, kProcRowSize);
  const std::string name = BufferToTrimmedString(procRecord_.data(), 30).substr(0, 64);
  std::memcpy(record, name.data(), name.size());
}

}  // namespace vader
