#pragma once
// The main window in the test's own process, made as the entry routine makes it (runtime,
// drop receiver, window), and taken down as the program's end does.
#include <gtest/gtest.h>

#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "services/forms.h"
#include "services/runtime.h"
#include "tests/support/harness.h"
#include "ui/main_window.h"

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    InitRuntime();
    g_receiver = new DropReceiver;
    main = CreateMainWindow();
    ASSERT_TRUE(main);
  }
  void TearDown() override {
    DestroyAllForms();
    delete g_receiver;
    g_receiver = nullptr;
    PumpFor(20);
    MSG msg;  // the last form gone posts WM_QUIT; the next test starts without it
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  HWND main = nullptr;
};
