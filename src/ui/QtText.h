#pragma once
// The system's texts are 8-bit ANSI; Qt shows Unicode.

#include <QString>
#include <string>

#include "platform/CodePage.h"

namespace vader::ui {

inline QString ToQString(const std::string& ansi) {
  return QString::fromUtf8(platform::AnsiToUtf8(ansi));
}

inline std::string FromQString(const QString& text) {
  return platform::Utf8ToAnsi(text.toUtf8().toStdString());
}

}  // namespace vader::ui
