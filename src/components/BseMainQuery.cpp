#include "components/BseMainQuery.h"

#include "framework/DBConsts.h"

namespace vader {

TttQuery::~TttQuery() = default;

void TttQuery::Unregister() {
  DropPending();
  TttDBDataset::Unregister();
}

void TttQuery::SetSQL(const std::string& text) {
  if (text == sql_) return;
  Close();
  sql_ = text;
  DataEvent(TDataEvent::dePropertyChange);
}

template <class F>
auto TttQuery::WithDatabase(F&& action) {
  const bool previous = SetDBFlag(dbfExecSQL, true);
  struct Restore {
    TttQuery& query;
    bool previous;
    ~Restore() { query.SetDBFlag(dbfExecSQL, previous); }
  } restore{*this, previous};
  return action();
}

TBaseTable* TttQuery::RunStatement() {
  if (sql_.find_first_not_of(" \t\r\n") == std::string::npos)
    DatabaseError(dbconsts::SEmptySQLStatement, this);
  TSessionLock lock(*DBSession());
  TVirtEng* engine = Engine();
  TSqlStmt* stmt = nullptr;
  Check(engine->QPrepare(DBHandle(), sql_.c_str(), stmt));
  // The statement goes in every case; a result cursor it gave stays open.
  struct Release {
    TVirtEng* engine;
    TSqlStmt*& stmt;
    ~Release() {
      if (stmt) engine->QFree(stmt);
    }
  } release{engine, stmt};
  TBaseTable* cursor = nullptr;
  Check(engine->QExec(stmt, cursor));
  int32_t rows = -1;
  uint16_t len = 0;
  if (cursor || engine->GetProp(stmt, stmtROWSAFFECTED, &rows, sizeof rows, len) != 0) rows = -1;
  rowsAffected_ = rows;
  return cursor;
}

void TttQuery::DropPending() {
  if (!pending_) return;
  TBaseTable* cursor = pending_;
  pending_ = nullptr;
  TSessionLock lock(*DBSession());
  Engine()->CloseCursor(cursor);
}

void TttQuery::ExecSQL() {
  Close();
  TBaseTable* cursor = WithDatabase([this] { return RunStatement(); });
  if (cursor) {
    TSessionLock lock(*DBSession());
    Check(Engine()->CloseCursor(cursor));
  }
}

bool TttQuery::Execute() {
  Close();
  return WithDatabase([this] {
    pending_ = RunStatement();
    if (!pending_) return false;
    try {
      Open();
    } catch (...) {
      DropPending();
      throw;
    }
    return true;
  });
}

TBaseTable* TttQuery::CreateHandle() {
  if (pending_) {
    TBaseTable* cursor = pending_;
    pending_ = nullptr;
    return cursor;
  }
  return RunStatement();
}

}  // namespace vader
