#pragma once
// The toolkit's dialogs for the choices of an export (file, format, encoding, separator,
// quotes, header row, line ends) and of an import (file, format, encoding, separator, header
// row, a preview of the records, how columns go to fields, add or update).

#include "DataTransfer.h"

namespace vader::app {

bool AskExportChoice(TExportChoice& choice);
bool AskImportChoice(TImportChoice& choice);

}  // namespace vader::app
