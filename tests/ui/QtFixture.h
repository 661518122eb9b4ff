#pragma once
// Tests that realise windows need one QApplication for the whole test program.

#include <gtest/gtest.h>

#include <QApplication>

namespace vader::ui {

class QtTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
};

}  // namespace vader::ui
