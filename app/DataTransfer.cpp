#include "DataTransfer.h"

#include "AppForm.h"
#include "AppTexts.h"
#include "DatabaseForm.h"
#include "components/BseMain.h"
#include "framework/Dialogs.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

constexpr std::size_t kRefusalsListed = 30;  // refused records named in the message, at most

// The code page the texts of a dataset are stored in.
std::string StoredCodePage(TDataSet& data) {
  const auto* engineData = dynamic_cast<const TttBDEDataset*>(&data);
  return engineData ? engineData->TextCodePage() : "UTF-8";
}

std::string DoneText(TDataSet& data, const TExportOptions& options, const TExportResult& result) {
  const std::string records = std::to_string(result.records);
  if (result.stopped) return Format(texts::kExportStoppedAfterRecords, {records});
  if (options.format != TExportFormat::efCsv) return Format(texts::kExportedRecords, {records});
  const std::string codePage = options.databaseCodePage ? StoredCodePage(data) : "UTF-8";
  return Format(texts::kExportedRecordsIn, {records, codePage});
}

// Shows the window's Stop button (by name) while it lives.
class StopButtonShown {
 public:
  StopButtonShown(TForm& form, const char* name)
      : button_(dynamic_cast<TControl*>(form.FindComponent(name))) {
    if (button_) button_->SetVisible(true);
  }
  ~StopButtonShown() {
    if (button_) button_->SetVisible(false);
  }
  StopButtonShown(const StopButtonShown&) = delete;
  StopButtonShown& operator=(const StopButtonShown&) = delete;

 private:
  TControl* button_;
};

// Shows Progress and lets the event loop run; false once Stop was clicked.
bool ShowProgress(const TTransferWindow& window, const std::string& progress) {
  window.progress = progress;
  window.show();
  Application().ProcessMessages();  // shows the progress and lets Stop be clicked
  return !window.cancel;
}

// How many records went in, and each refused one with its line.
std::string ImportReport(const TImportResult& result, std::size_t total, const std::string& table) {
  std::string report = Format(texts::kImportedRecordsInto,
                              {std::to_string(result.imported), std::to_string(total), table});
  if (result.refused.empty()) return report;
  report += "\n\n" + Format(texts::kRecordsNotImported, {std::to_string(result.refused.size())});
  for (std::size_t i = 0; i < result.refused.size() && i < kRefusalsListed; ++i) {
    const TImportRefusal& refusal = result.refused[i];
    const std::string reason =
        refusal.keyViolation ? Tr(texts::kDuplicateKey) : ui::SplitErrorText(refusal.reason).text;
    report += "\n" + Format(texts::kLineRefused, {std::to_string(refusal.line), reason});
  }
  if (result.refused.size() > kRefusalsListed)
    report +=
        "\n" + Format(texts::kAndMore, {std::to_string(result.refused.size() - kRefusalsListed)});
  return report;
}

// The file's records and the fields they go to; a message says what is wrong when they
// cannot be had.
bool ReadForImport(TttTable& table, const TImportChoice& choice, TImportRows& rows,
                   TImportMapping& mapping) {
  try {
    rows = ReadImportFile(choice.path, choice.file);
    mapping = MatchColumns(rows, table, choice.match, choice.chosen);
    if (!mapping.fieldColumns.empty()) return true;
    MessageDlg(Tr(texts::kNoColumnMatches), TMsgDlgType::mtError, mbOK, 0);
  } catch (const ETransferFileError& error) {
    MessageDlg(Format(texts::kCannotRead, {error.Path()}), TMsgDlgType::mtError, mbOK, 0);
  } catch (const EImportFormatError& error) {
    MessageDlg(Format(texts::kNotARecordFile, {choice.path, std::to_string(error.Line())}),
               TMsgDlgType::mtError, mbOK, 0);
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
  return false;
}

}  // namespace

bool RunExport(const TTransferWindow& window, TDataSet& data, const std::string& path,
               const TExportOptions& options, int total) {
  window.cancel = false;
  bool ok = false;
  {
    const StopButtonShown stop(window.form, "CancelExportButton");
    const auto progress = [&](int written) {
      return ShowProgress(window, Format(texts::kExportedOfRecords,
                                         {std::to_string(written), std::to_string(total)}));
    };
    try {
      const TExportResult result = ExportDataSet(data, path, options, progress);
      ok = !result.stopped;
      window.progress = DoneText(data, options, result);
    } catch (const ETransferFileError& error) {
      window.progress.clear();
      MessageDlg(Format(texts::kCannotWriteTo, {error.Path()}), TMsgDlgType::mtError, mbOK, 0);
    } catch (const std::exception& error) {
      window.progress.clear();
      ui::ShowException(error);
    }
  }
  window.show();
  return ok;
}

bool AskAndExport(const TTransferWindow& window, TDataSet& data, const std::string& tableName,
                  int total) {
  if (!Prompts().exportChoice) return false;
  TExportChoice choice;
  choice.options.tableName = tableName;
  choice.codePage = StoredCodePage(data);
  if (!Prompts().exportChoice(choice) || choice.path.empty()) return false;
  return RunExport(window, data, ExportFileName(choice.path, choice.options.format), choice.options,
                   total);
}

bool RunImport(const TTransferWindow& window, TttTable& table, const TImportChoice& choice) {
  TImportRows rows;
  TImportMapping mapping;
  table.CheckBrowseMode();
  if (!ReadForImport(table, choice, rows, mapping)) return false;
  window.cancel = false;
  const std::string total = std::to_string(rows.rows.size());
  TImportResult result;
  bool ran = false;
  {
    const StopButtonShown stop(window.form, "CancelImportButton");
    const auto progress = [&](int processed) {
      return ShowProgress(window,
                          Format(texts::kImportedOfRecords, {std::to_string(processed), total}));
    };
    try {
      result = ImportRows(rows, mapping, table, choice.settings, progress);
      ran = true;
    } catch (const std::exception& error) {
      ui::ShowException(error);
    }
  }
  window.progress = ran && result.stopped ? Format(texts::kImportStoppedAfterRecords,
                                                   {std::to_string(result.imported)})
                                          : std::string();
  table.Refresh();
  window.show();
  if (!ran) return false;
  MessageDlg(ImportReport(result, rows.rows.size(), choice.tableName),
             result.refused.empty() ? TMsgDlgType::mtInformation : TMsgDlgType::mtWarning, mbOK, 0);
  return !result.stopped;
}

bool AskAndImport(const TTransferWindow& window, TttTable& table, const std::string& tableName) {
  if (!Prompts().importChoice) return false;
  TImportChoice choice;
  choice.tableName = tableName;
  choice.codePage = StoredCodePage(table);
  for (int f = 0; f < table.FieldCount(); ++f)
    choice.fields.push_back(table.Fields(f)->FieldName());
  if (!Prompts().importChoice(choice) || choice.path.empty()) return false;
  return RunImport(window, table, choice);
}

}  // namespace vader::app
