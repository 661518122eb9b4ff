#include "QtPrompts.h"

#include <QFile>
#include <QFileDialog>
#include <QInputDialog>

#include "DatabaseForm.h"
#include "ui/QtText.h"

namespace vader::app {

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
}

}  // namespace vader::app
