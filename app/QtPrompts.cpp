#include "QtPrompts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "AppForm.h"
#include "AppTexts.h"
#include "DatabaseForm.h"
#include "QtTransferDialogs.h"
#include "ui/QtText.h"

namespace vader::app {
namespace {

constexpr int kOwnerNameLength = 8;

QLineEdit* OwnerEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setMaxLength(kOwnerNameLength);
  return edit;
}

// One dialog for the owner names of several files: a name for all, and one per file.
bool AskOwnerNames(TOwnerNames& owners) {
  QDialog dialog;
  dialog.setWindowTitle(ui::ToQString(Tr(texts::kOwnerNames)));
  auto* layout = new QFormLayout(&dialog);
  auto* intro = new QLabel(ui::ToQString(Tr(texts::kTheseFilesAreProtected)), &dialog);
  intro->setWordWrap(true);
  layout->addRow(intro);
  QLineEdit* forAll = OwnerEdit(&dialog);
  layout->addRow(ui::ToQString(Tr(texts::kForAllFiles)), forAll);
  std::vector<QLineEdit*> edits;
  for (const std::string& file : owners.files) {
    edits.push_back(OwnerEdit(&dialog));
    layout->addRow(ui::ToQString(file), edits.back());  // a file name, as the disk has it
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(ui::ToQString(Tr("OK")));
  buttons->button(QDialogButtonBox::Cancel)->setText(ui::ToQString(Tr("Cancel")));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;
  owners.forAll = ui::FromQString(forAll->text());
  owners.names.assign(edits.size(), "");
  for (std::size_t i = 0; i < edits.size(); ++i) owners.names[i] = ui::FromQString(edits[i]->text());
  return true;
}

}  // namespace

namespace {

// A chosen path as the file system's own bytes, never through a code page that may lack a
// letter of it.
std::string PathOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void InstallQtPrompts() {
  TAppPrompts& prompts = Prompts();
  prompts.directory = [](const std::string& title) {
    return PathOf(QFileDialog::getExistingDirectory(nullptr, ui::ToQString(title)));
  };
  prompts.file = [](const std::string& title, bool save) {
    return PathOf(save ? QFileDialog::getSaveFileName(nullptr, ui::ToQString(title))
                       : QFileDialog::getOpenFileName(nullptr, ui::ToQString(title)));
  };
  prompts.text = [](const std::string& title, const std::string& label) {
    return ui::FromQString(
        QInputDialog::getText(nullptr, ui::ToQString(title), ui::ToQString(label)));
  };
  prompts.ownerNames = AskOwnerNames;
  prompts.exportChoice = AskExportChoice;
  prompts.importChoice = AskImportChoice;
}

}  // namespace vader::app
