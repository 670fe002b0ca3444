#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "build_config.h"
#include "e2e/harness.h"

// What the end-to-end tests share: the program's control identifiers, the
// report box text, and a fixture that starts from no stored settings.
namespace vq::e2e {

constexpr int kListView1 = 1000, kPushButton1 = 1001, kPushButton4 = 1002, kFrame2 = 1003, kCheck1 = 1004,
              kCheck3 = 1005, kCheck2 = 1006, kCheck4 = 1007, kProgressBar1 = 1008,
              kCheck5 = 1009;

inline std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + strlen(ascii)); }

inline std::wstring ErrorReport(const std::wstring& description, const std::wstring& procedure, int statement) {
  return description + L"\r\nin Kestrelbay2021/08/31.Form1." + procedure + L" at line " +
         std::to_wstring(statement) + L"\r\rPlease email screenshot of this message to " + Widen(kSupportEmail);
}

inline int CheckState(HWND form, int id) { return static_cast<int>(::SendMessageW(::GetDlgItem(form, id), BM_GETCHECK, 0, 0)); }

inline std::vector<int> CheckStates(HWND form) {
  return {CheckState(form, kCheck1), CheckState(form, kCheck2), CheckState(form, kCheck3), CheckState(form, kCheck4),
          CheckState(form, kCheck5)};
}

class ProgramTest : public ::testing::Test {
 protected:
  // Window coordinates are read as the program sees them, unscaled.
  static void SetUpTestSuite() { ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2); }
  void SetUp() override { DeleteSettings(); }
  void TearDown() override { DeleteSettings(); }

  // Closes the window as the user would and checks the program ends at once.
  static void CloseAndExpectExit(const AppProcess& app, HWND form) {
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    DWORD code = 1;
    ASSERT_TRUE(app.WaitForExit(10s, &code));
    EXPECT_EQ(code, 0u);
  }
};

}  // namespace vq::e2e
