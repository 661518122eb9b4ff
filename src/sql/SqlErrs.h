#pragma once
// Scalable SQL failures: the same statuses, texts and codes as Btrieve's, told apart by class.

#include <cstdint>
#include <string_view>

#include "btrieve/BtrErrs.h"

namespace vader {

class EScalableSQLEngineError : public EBtrieveEngineError {
 public:
  using EBtrieveEngineError::EBtrieveEngineError;
};

// Raise EScalableSQLEngineError; status 9 is not turned into the end-of-file error here.
[[noreturn]] void SQLError(int16_t status);
[[noreturn]] void SQLErrorText(int16_t status, std::string_view text);

// The result of a Scalable SQL call: 0 and the negative notices come back; 9 raises the
// end-of-file error; any other positive status raises EScalableSQLEngineError.
int16_t CheckSQLStatus(int16_t status);

}  // namespace vader
