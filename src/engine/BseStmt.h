#pragma once
// The base of a prepared SQL statement. It keeps the statement text (in the OEM character set,
// as the data manager reads it), the query language and the statement option that chooses the
// result-cursor class; the SQL driver allocates, compiles and executes the statement.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/BseBapi.h"
#include "engine/BseTable.h"

namespace vader {

// Query languages.
constexpr uint16_t qrylangUNKNOWN = 0;
constexpr uint16_t qrylangQBE = 1;
constexpr uint16_t qrylangSQL = 2;

// Statement property: the rows its last run inserted, updated or deleted (32-bit; -1 when the
// driver cannot tell).
constexpr uint32_t stmtROWSAFFECTED = 0x00040008;

class TSqlStmt : public TBapiListItem {
 public:
  // Create statements with CreateItem<T>(owner, collection, sql, language): the second
  // construction step stores the text through SetText and runs Allocate, both the driver's.
  TSqlStmt(TBapiListItem* owner, TVaderCollection* collection, const char* sql, uint16_t language);
  // Frees the text. A driver whose Release does something calls it from its own destructor.
  ~TSqlStmt() override;

  // Low word 1: 16-bit 32; low word 4: a pointer to an empty text (pointer-sized, Len 1); low
  // word 16: the statement option (4 bytes).
  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  // Low word 16 sets the statement option; others are ignored.
  void SetProp(uint32_t propId, int32_t value) override;
  // Low words 1, 2, 3, 4 and 19 are read-only.
  void CheckProp(uint32_t propId, bool forWrite) override;

  // Replaces the text by an OEM copy of `sql`; nullptr leaves none.
  virtual void SetText(const char* sql);
  // Obtains / releases the data manager's statement; nothing in the base.
  virtual void Allocate() {}
  virtual void Release() {}
  // Substitutes the statement's parameters from `recordBuffer` as `descs` describe them.
  virtual void SetParams(uint16_t count, const FieldDesc* descs, const void* recordBuffer) = 0;
  // Runs the statement; with a cursor argument the result cursor is returned there, with
  // nullptr the statement runs without producing one.
  virtual void Execute(TBaseTable** cursor) = 0;
  virtual void SetProcParams(uint16_t count, const FieldDesc* descs, const void* recordBuffer) = 0;
  // A place kept for the drivers; nothing implements it.
  virtual void Reserved11();

  int32_t StmtOption() const { return stmtOption_; }
  // The stored (OEM) text; nullptr when there is none.
  const char* SqlText() const { return sqlText_ ? sqlText_->c_str() : nullptr; }
  uint16_t Language() const { return language_; }

 protected:
  void AfterConstruction() override;
  // Stores `text` as it is (drivers that rewrite the text store their own form).
  void StoreText(std::optional<std::string> text) { sqlText_ = std::move(text); }

  int32_t stmtOption_ = 0;

 private:
  std::optional<std::string> sqlText_;
  uint16_t language_;
  std::optional<std::string> pendingSql_;
};

}  // namespace vader
