#include "QtTransferDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "AppForm.h"
#include "AppTexts.h"
#include "ui/QtText.h"

namespace vader::app {
namespace {

constexpr int kPreviewRows = 20;

QString Text(const char* designed) { return ui::ToQString(Tr(designed)); }

std::string PathOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A line with the file's path and a button that chooses it in the file dialog.
QLineEdit* AddFileRow(QDialog& dialog, QFormLayout& layout, const std::string& path, bool save) {
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(path)), &dialog);
  auto* browse = new QPushButton(Text(texts::kBrowse), &dialog);
  QObject::connect(browse, &QPushButton::clicked, &dialog, [edit, save, &dialog] {
    const QString chosen = save ? QFileDialog::getSaveFileName(&dialog, edit->text())
                                : QFileDialog::getOpenFileName(&dialog, edit->text());
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  row->addWidget(edit);
  row->addWidget(browse);
  layout.addRow(Text(texts::kFileLabel), row);
  return edit;
}

QComboBox* AddChoice(QDialog& dialog, QFormLayout& layout, const char* label,
                     const std::vector<QString>& items, int chosen) {
  auto* combo = new QComboBox(&dialog);
  for (const QString& item : items) combo->addItem(item);
  combo->setCurrentIndex(chosen);
  layout.addRow(Text(label), combo);
  return combo;
}

QComboBox* AddEncoding(QDialog& dialog, QFormLayout& layout, const std::string& codePage,
                       bool database) {
  return AddChoice(dialog, layout, texts::kEncodingLabel,
                   {"UTF-8", ui::ToQString(Format(texts::kDatabaseCodePage, {codePage}))},
                   database ? 1 : 0);
}

const char kSeparators[] = {',', ';', '\t', '|'};

QComboBox* AddSeparator(QDialog& dialog, QFormLayout& layout, char separator) {
  int chosen = 0;
  for (int i = 0; i < 4; ++i)
    if (kSeparators[i] == separator) chosen = i;
  return AddChoice(
      dialog, layout, texts::kSeparatorLabel,
      {Text(texts::kComma), Text(texts::kSemicolon), Text(texts::kTab), Text(texts::kVerticalBar)},
      chosen);
}

char SeparatorOf(const QComboBox* combo) { return kSeparators[std::max(0, combo->currentIndex())]; }

QCheckBox* AddHeader(QDialog& dialog, QFormLayout& layout, bool header) {
  auto* box = new QCheckBox(Text(texts::kHeaderRow), &dialog);
  box->setChecked(header);
  layout.addRow(box);
  return box;
}

bool RunDialog(QDialog& dialog, QFormLayout& layout) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(ui::ToQString(Tr("OK")));
  buttons->button(QDialogButtonBox::Cancel)->setText(ui::ToQString(Tr("Cancel")));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout.addRow(buttons);
  return dialog.exec() == QDialog::Accepted;
}

// ---- the import dialog's preview and column choices ----

class ImportDialog {
 public:
  explicit ImportDialog(TImportChoice& choice) : choice_(choice) {
    dialog_.setWindowTitle(ui::ToQString(Format(texts::kImportInto, {choice.tableName})));
    layout_ = new QFormLayout(&dialog_);
    file_ = AddFileRow(dialog_, *layout_, choice.path, false);
    format_ = AddChoice(dialog_, *layout_, texts::kFormatLabel,
                        {Text(texts::kCsvFormat), Text(texts::kJsonFormat)},
                        choice.file.format == TImportFormat::ifJson ? 1 : 0);
    encoding_ = AddEncoding(dialog_, *layout_, choice.codePage, !choice.file.codePage.empty());
    separator_ = AddSeparator(dialog_, *layout_, choice.file.separator);
    header_ = AddHeader(dialog_, *layout_, choice.file.header);
    problem_ = new QLabel(&dialog_);
    problem_->setWordWrap(true);
    layout_->addRow(Text(texts::kPreviewLabel), problem_);
    preview_ = new QTableWidget(&dialog_);
    preview_->setMinimumSize(640, 220);
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout_->addRow(preview_);
    match_ = AddChoice(dialog_, *layout_, texts::kColumnsToFields,
                       {Text(texts::kByName), Text(texts::kByPosition), Text(texts::kAsChosen)},
                       static_cast<int>(choice.match));
    AddFieldChoices();
    mode_ = AddChoice(
        dialog_, *layout_, texts::kRecordsLabel,
        {Text(texts::kAddRecords), Text(texts::kUpdateRecords), Text(texts::kUpdateOrAddRecords)},
        0);
    for (QComboBox* combo : {format_, encoding_, separator_})
      QObject::connect(combo, &QComboBox::currentIndexChanged, &dialog_, [this] { Reread(); });
    QObject::connect(header_, &QCheckBox::toggled, &dialog_, [this] { Reread(); });
    QObject::connect(file_, &QLineEdit::editingFinished, &dialog_, [this] { Reread(); });
    QObject::connect(match_, &QComboBox::currentIndexChanged, &dialog_, [this] { ShowFields(); });
    Reread();
  }

  bool Run() {
    if (!RunDialog(dialog_, *layout_)) return false;
    Take();
    return !choice_.path.empty();
  }

 private:
  // One line per field of the table with the column it takes, for the chosen mapping.
  void AddFieldChoices() {
    fieldsBox_ = new QWidget(&dialog_);
    auto* fields = new QFormLayout(fieldsBox_);
    for (const std::string& field : choice_.fields) {
      auto* combo = new QComboBox(fieldsBox_);
      fields->addRow(ui::ToQString(field), combo);
      columns_.push_back(combo);
    }
    layout_->addRow(fieldsBox_);
  }

  void TakeFileOptions() {
    choice_.path = PathOf(file_->text());
    choice_.file.format =
        format_->currentIndex() == 1 ? TImportFormat::ifJson : TImportFormat::ifCsv;
    choice_.file.codePage = encoding_->currentIndex() == 1 ? choice_.codePage : std::string();
    choice_.file.separator = SeparatorOf(separator_);
    choice_.file.header = header_->isChecked();
  }

  // Reads the file again as the choices now say and shows its first records.
  void Reread() {
    TakeFileOptions();
    rows_ = {};
    problem_->clear();
    if (!choice_.path.empty()) try {
        rows_ = ReadImportFile(choice_.path, choice_.file);
      } catch (const ETransferFileError& error) {
        problem_->setText(ui::ToQString(Format(texts::kCannotRead, {error.Path()})));
      } catch (const std::exception& error) {
        problem_->setText(ui::ToQString(error.what()));
      }
    ShowPreview();
    ShowFields();
  }

  void ShowPreview() {
    const int rows = std::min(kPreviewRows, static_cast<int>(rows_.rows.size()));
    preview_->clear();
    preview_->setColumnCount(static_cast<int>(rows_.columns.size()));
    preview_->setRowCount(rows);
    QStringList titles;
    for (const std::string& column : rows_.columns) titles << ui::ToQString(column);
    preview_->setHorizontalHeaderLabels(titles);
    for (int r = 0; r < rows; ++r) {
      const TImportRow& row = rows_.rows[static_cast<std::size_t>(r)];
      for (std::size_t c = 0; c < row.values.size(); ++c)
        if (row.values[c])
          preview_->setItem(r, static_cast<int>(c),
                            new QTableWidgetItem(ui::ToQString(*row.values[c])));
    }
  }

  // The column combos offer the file's columns; by name and by position preset them.
  void ShowFields() {
    fieldsBox_->setVisible(match_->currentIndex() == static_cast<int>(TImportMatch::imChosen));
    for (std::size_t f = 0; f < columns_.size(); ++f) {
      QComboBox* combo = columns_[f];
      const QString kept = combo->currentText();
      combo->clear();
      combo->addItem(Text(texts::kNotImported));
      for (const std::string& column : rows_.columns) combo->addItem(ui::ToQString(column));
      const int same = combo->findText(ui::ToQString(choice_.fields[f]), Qt::MatchFixedString);
      const int keptAt = combo->findText(kept);
      combo->setCurrentIndex(keptAt > 0 ? keptAt : std::max(same, 0));
    }
  }

  void Take() {
    TakeFileOptions();
    choice_.match = static_cast<TImportMatch>(std::max(0, match_->currentIndex()));
    choice_.chosen.clear();
    for (std::size_t f = 0; f < columns_.size(); ++f) {
      const int column = columns_[f]->currentIndex();  // 0: not imported
      if (column > 0 && column <= static_cast<int>(rows_.columns.size()))
        choice_.chosen.push_back(choice_.fields[f] + "=" +
                                 rows_.columns[static_cast<std::size_t>(column - 1)]);
    }
    static const TBatchMode kModes[] = {TBatchMode::batAppend, TBatchMode::batUpdate,
                                        TBatchMode::batAppendUpdate};
    choice_.settings.mode = kModes[std::max(0, mode_->currentIndex())];
  }

  TImportChoice& choice_;
  QDialog dialog_;
  QFormLayout* layout_ = nullptr;
  QLineEdit* file_ = nullptr;
  QComboBox *format_ = nullptr, *encoding_ = nullptr, *separator_ = nullptr, *match_ = nullptr,
            *mode_ = nullptr;
  QCheckBox* header_ = nullptr;
  QLabel* problem_ = nullptr;
  QTableWidget* preview_ = nullptr;
  QWidget* fieldsBox_ = nullptr;
  std::vector<QComboBox*> columns_;
  TImportRows rows_;
};

}  // namespace

bool AskExportChoice(TExportChoice& choice) {
  QDialog dialog;
  dialog.setWindowTitle(Text(texts::kExport));
  auto* layout = new QFormLayout(&dialog);
  TExportOptions& options = choice.options;
  QLineEdit* file = AddFileRow(dialog, *layout, choice.path, true);
  QComboBox* format =
      AddChoice(dialog, *layout, texts::kFormatLabel,
                {Text(texts::kCsvFormat), Text(texts::kJsonFormat), Text(texts::kSqlFormat)},
                static_cast<int>(options.format));
  QComboBox* encoding = AddEncoding(dialog, *layout, choice.codePage, options.databaseCodePage);
  QComboBox* separator = AddSeparator(dialog, *layout, options.separator);
  QComboBox* quoting =
      AddChoice(dialog, *layout, texts::kQuotesLabel,
                {Text(texts::kQuoteWhereNeeded), Text(texts::kQuoteTexts), Text(texts::kQuoteAll)},
                static_cast<int>(options.quoting));
  QCheckBox* header = AddHeader(dialog, *layout, options.header);
  QComboBox* lineEnds = AddChoice(dialog, *layout, texts::kLineEndsLabel,
                                  {Text(texts::kWindowsLineEnds), Text(texts::kLinuxLineEnds)},
                                  options.lineEnd == "\n" ? 1 : 0);
  auto* table = new QLineEdit(ui::ToQString(options.tableName), &dialog);
  layout->addRow(Text(texts::kSqlTableLabel), table);
  // Only the choices of the format chosen can be changed.
  const auto offerChoices = [=] {
    const auto chosen = static_cast<TExportFormat>(format->currentIndex());
    for (QWidget* csvChoice : std::initializer_list<QWidget*>{encoding, separator, quoting, header})
      csvChoice->setEnabled(chosen == TExportFormat::efCsv);
    table->setEnabled(chosen == TExportFormat::efSql);
  };
  QObject::connect(format, &QComboBox::currentIndexChanged, &dialog, offerChoices);
  offerChoices();
  if (!RunDialog(dialog, *layout)) return false;
  choice.path = PathOf(file->text());
  options.format = static_cast<TExportFormat>(std::max(0, format->currentIndex()));
  options.databaseCodePage = encoding->currentIndex() == 1;
  options.separator = SeparatorOf(separator);
  options.quoting = static_cast<TCsvQuoting>(std::max(0, quoting->currentIndex()));
  options.header = header->isChecked();
  options.lineEnd = lineEnds->currentIndex() == 1 ? "\n" : "\r\n";
  options.tableName = ui::FromQString(table->text());
  return true;
}

bool AskImportChoice(TImportChoice& choice) { return ImportDialog(choice).Run(); }

}  // namespace vader::app
