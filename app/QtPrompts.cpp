#include "QtPrompts.h"

#include <QFileDialog>
#include <QInputDialog>

#include "DatabaseForm.h"
#include "ui/QtText.h"

namespace vader::app {

void InstallQtPrompts() {
  TAppPrompts& prompts = Prompts();
  prompts.directory = [](const std::string& title) {
    return ui::FromQString(QFileDialog::getExistingDirectory(nullptr, ui::ToQString(title)));
  };
  prompts.file = [](const std::string& title, bool save) {
    return ui::FromQString(save ? QFileDialog::getSaveFileName(nullptr, ui::ToQString(title))
                                : QFileDialog::getOpenFileName(nullptr, ui::ToQString(title)));
  };
  prompts.text = [](const std::string& title, const std::string& label) {
    return ui::FromQString(
        QInputDialog::getText(nullptr, ui::ToQString(title), ui::ToQString(label)));
  };
}

}  // namespace vader::app
