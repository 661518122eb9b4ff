#pragma once
// The windows' side of export and import: an export or import run from a window, with the
// window's Stop button shown while it runs and the progress in its status line, and the
// dialogs that ask for their choices.

#include <functional>
#include <string>
#include <vector>

#include "components/DataExport.h"
#include "components/DataImport.h"
#include "framework/Forms.h"

namespace vader::app {

// What a window lends an export or import it runs: the flag its Stop button sets, the status
// line text and how to show it again. The Stop button (CancelExportButton, CancelImportButton)
// is shown while the work runs.
struct TTransferWindow {
  TForm& form;
  bool& cancel;
  std::string& progress;
  std::function<void()> show;
};

// Writes Data (Total records) to Path, letting the event loop run every few records so the
// progress shows and Stop can be clicked. A failure is shown in a message; a stopped or failed
// export leaves the file as it was (none when there was none). True when the whole file was
// written.
bool RunExport(const TTransferWindow& window, TDataSet& data, const std::string& path,
               const TExportOptions& options, int total);

// The file and the choices of an export, as the export dialog asks for them.
struct TExportChoice {
  std::string path;
  TExportOptions options;
  std::string codePage;  // the database's, named in the choice of encodings
};

// Asks for the file and the choices (Prompts().exportChoice), adds the format's extension
// when the name has none, and runs the export. False when cancelled, stopped or failed.
bool AskAndExport(const TTransferWindow& window, TDataSet& data, const std::string& tableName,
                  int total);

// The file and the choices of an import, as the import dialog asks for them.
struct TImportChoice {
  std::string path;
  TImportFileOptions file;
  TImportMatch match = TImportMatch::imByName;
  std::vector<std::string> chosen;  // "FIELD=COLUMN" lines when the columns are chosen
  TImportSettings settings;
  std::string tableName;            // the table imported into
  std::vector<std::string> fields;  // its fields, offered for the chosen columns
  std::string codePage;             // the database's, named in the choice of encodings
};

// Reads the file and moves its records into Table as Choice says, with progress and Stop;
// then tells how many records went in and lists each refused one with its line. False when
// nothing could be imported (the file or the choices were wrong) or it was stopped.
bool RunImport(const TTransferWindow& window, TttTable& table, const TImportChoice& choice);

// Asks for the file and the choices (Prompts().importChoice), then runs the import.
bool AskAndImport(const TTransferWindow& window, TttTable& table, const std::string& tableName);

}  // namespace vader::app
