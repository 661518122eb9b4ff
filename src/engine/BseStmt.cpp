#include "engine/BseStmt.h"

#include "engine/BseErrs.h"
#include "platform/CodePage.h"

namespace vader {
namespace {

constexpr uint16_t kStmtKindProp = 1;
constexpr uint16_t kStmtTextProp = 4;
constexpr uint16_t kStmtOptionProp = 16;
constexpr uint16_t kStatementKind = 32;
constexpr char kNoText[] = "";

}  // namespace

TSqlStmt::TSqlStmt(TBapiListItem* owner, TVaderCollection* collection, const char* sql,
                   uint16_t language)
    : TBapiListItem(owner, collection), language_(language) {
  if (sql != nullptr) pendingSql_ = sql;
}

void TSqlStmt::AfterConstruction() {
  std::optional<std::string> sql = std::move(pendingSql_);
  pendingSql_.reset();
  SetText(sql ? sql->c_str() : nullptr);
  Allocate();
}

TSqlStmt::~TSqlStmt() { sqlText_.reset(); }

void TSqlStmt::GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) {
  switch (PropLowWord(propId)) {
    case kStmtKindProp:
      PutPropValue(&kStatementKind, sizeof kStatementKind, value, maxLen, len);
      return;
    case kStmtTextProp: {
      const char* text = kNoText;
      PutPropValue(&text, sizeof text, value, maxLen, len);
      len = 1;
      return;
    }
    case kStmtOptionProp:
      PutPropValue(&stmtOption_, sizeof stmtOption_, value, maxLen, len);
      return;
    default:
      TBapiListItem::GetProp(propId, value, maxLen, len);
  }
}

void TSqlStmt::SetProp(uint32_t propId, int32_t value) {
  if (PropLowWord(propId) == kStmtOptionProp)
    stmtOption_ = value;
  else
    TBapiListItem::SetProp(propId, value);
}

void TSqlStmt::CheckProp(uint32_t propId, bool forWrite) {
  switch (PropLowWord(propId)) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 19:
      if (forWrite) RaiseEngineError(DBIERR_NOTSUPPORTED);
      break;
    default:
      break;
  }
  TBapiListItem::CheckProp(propId, forWrite);
}

void TSqlStmt::SetText(const char* sql) {
  sqlText_.reset();
  if (sql != nullptr) sqlText_ = platform::CharToOem(sql);
}

void TSqlStmt::Reserved11() { RaiseEngineError(DBIERR_NOTSUPPORTED); }

}  // namespace vader
