#include "sql/SqlErrs.h"

#include "btrieve/BtrConst.h"

namespace vader {

void SQLError(int16_t status) { throw EScalableSQLEngineError(status); }

void SQLErrorText(int16_t status, std::string_view text) {
  throw EScalableSQLEngineError(status, text);
}

int16_t CheckSQLStatus(int16_t status) {
  if (status == B_END_OF_FILE) RaiseEOF();
  if (status > 0) SQLError(status);
  return status;
}

}  // namespace vader
