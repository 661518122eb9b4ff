#pragma once
// The Qt window of long work: the work's title, its progress text and a Stop button, shown
// in front of every window and taking the input while the work runs.

#include <memory>

#include "framework/LongWork.h"

namespace vader::ui {

// Makes the window for each long work; requires a QApplication.
std::unique_ptr<TLongWorkView> MakeLongWorkWindow();

}  // namespace vader::ui
