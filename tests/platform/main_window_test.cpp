#include "platform/win32/win32_main_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_file_system.h"

namespace vq::win32 {
namespace {

class Win32MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
  }
  Win32MainWindow window{::GetModuleHandleW(nullptr)};

  void AddColumns() {
    for (const char* header : {"Type", "Location", "Item", "Extra Details"}) window.AddColumn(header);
  }
  HWND Control(vq::Control control) const { return ::GetDlgItem(window.hwnd(), ControlId(control)); }
};

TEST_F(Win32MainWindowTest, RowsKeepTheirTextsExactlyIncludingNonAnsiAndLongOnes) {
  AddColumns();
  const std::string polish = "\xC5\x81\xC3\xB3" "d\xC5\xBA";
  const std::string japanese = "\xE6\x9D\xB1\xE4\xBA\xAC \xE3\x83\x84\xE3\x83\xBC\xE3\x83\xAB";
  const std::string longText(3000, 'L');
  EXPECT_EQ(window.AddRow("REGISTRY", 7), 1);
  window.SetSubItem(1, 1, "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  window.SetSubItem(1, 2, polish);
  window.SetSubItem(1, 3, longText);
  EXPECT_EQ(window.AddRow(japanese, 0xFFFFFFFFu), 2);
  window.SetSubItem(2, 2, std::string("Upd\0x", 5));

  EXPECT_EQ(window.RowCount(), 2);
  EXPECT_EQ(window.RowText(1, 0), "REGISTRY");
  EXPECT_EQ(window.RowText(1, 1), "HKCU:Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(window.RowText(1, 2), polish);
  EXPECT_EQ(window.RowText(1, 3), longText);
  EXPECT_EQ(window.RowText(2, 0), japanese);
  EXPECT_EQ(window.RowText(2, 3), "") << "a sub-item nobody set is empty";
  EXPECT_EQ(window.RowText(2, 2), "Upd") << "the list keeps a text up to its first U+0000";
  EXPECT_EQ(window.RowItem(1), 7u);
  EXPECT_EQ(window.RowItem(2), 0xFFFFFFFFu) << "every item number comes back whole";

  EXPECT_FALSE(window.RowChecked(2));
  ListView_SetCheckState(Control(Control::ListView1), 1, TRUE);
  EXPECT_TRUE(window.RowChecked(2));
  EXPECT_FALSE(window.RowChecked(1));

  // While the program works, no tick changes and no command starts.
  window.SetCommandsEnabled(false);
  for (vq::Control control : {vq::Control::ListView1, vq::Control::PushButton1, vq::Control::PushButton4}) {
    EXPECT_FALSE(::IsWindowEnabled(Control(control)));
  }
  window.SetCommandsEnabled(true);
  EXPECT_TRUE(::IsWindowEnabled(Control(Control::ListView1)));

  window.ClearRows();
  EXPECT_EQ(window.RowCount(), 0);
}

// The events fall due some 25 ms after they were last handled; a long list
// empties whole though it is emptied in parts.
TEST_F(Win32MainWindowTest, EventsFallDueWithTimeAndALongListEmptiesWhole) {
  window.DoEvents();
  ::Sleep(30);
  EXPECT_TRUE(window.EventsDue());
  EXPECT_TRUE(window.EventsDue()) << "and stay due until handled";
  window.KeepAnswering();
  EXPECT_FALSE(window.EventsDue());

  AddColumns();
  window.SetListRedraw(false);
  for (int row = 1; row <= 2600; ++row) {
    window.AddRow("REGISTRY", static_cast<std::uint32_t>(row));
    if (row % 100 == 0) window.SetRowGreyed(row, true);
  }
  window.SetListRedraw(true);
  window.ClearRows();
  EXPECT_EQ(window.RowCount(), 0);
  EXPECT_EQ(window.AddRow("STARTUP", 1), 1);
  EXPECT_EQ(window.RowText(1, 0), "STARTUP");
}

TEST_F(Win32MainWindowTest, RowsAndColumnsOutOfRangeFail) {
  AddColumns();
  EXPECT_THROW(window.SetSubItem(1, 1, "x"), Failure);
  window.AddRow("SYSFILE", 0);
  EXPECT_THROW(window.SetSubItem(2, 1, "x"), Failure);
  EXPECT_THROW(window.SetSubItem(1, 4, "x"), Failure);
  EXPECT_THROW(window.RowChecked(0), Failure);
  EXPECT_THROW(window.RowText(2, 0), Failure);
  EXPECT_THROW(window.SetColumnWidth(5, 100), Failure);
  EXPECT_THROW(window.SetColumnWidth(0, 100), Failure);
  EXPECT_THROW(window.RowItem(2), Failure);
  EXPECT_THROW(window.AddRow("\xFF not UTF-8", 0), Failure);
}

TEST_F(Win32MainWindowTest, CheckBoxesTakeThreeStatesOnly) {
  for (int value : {0, 1, 2}) {
    window.SetCheckValue(CheckBox::Check2, value);
    EXPECT_EQ(window.CheckValue(CheckBox::Check2), value);
  }
  window.SetCheckValue(CheckBox::Check2, 1);
  EXPECT_THROW(window.SetCheckValue(CheckBox::Check2, 3), Failure);
  EXPECT_THROW(window.SetCheckValue(CheckBox::Check2, -1), Failure);
  EXPECT_EQ(window.CheckValue(CheckBox::Check2), 1);
  EXPECT_EQ(window.CheckValue(CheckBox::Check3), 0);
  // Each box is its own control: Check2 is the one captioned "System".
  EXPECT_EQ(e2e::WindowText(Control(Control::Check2)), L"System");
}

TEST_F(Win32MainWindowTest, FontsAreBoldArialAtTheirPointSizes) {
  const int dpi = static_cast<int>(::GetDpiForWindow(window.hwnd()));
  struct Case {
    vq::Control control;
    int centipoints;
  };
  for (const Case& c : {Case{Control::ListView1, 900}, Case{Control::Check1, 900}, Case{Control::Frame2, 900},
                        Case{Control::PushButton1, 1125}, Case{Control::PushButton4, 1125}}) {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(Control(c.control), WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    ASSERT_TRUE(::GetObjectW(font, sizeof logFont, &logFont));
    EXPECT_STREQ(logFont.lfFaceName, L"Arial");
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);
    EXPECT_EQ(logFont.lfHeight, -MulDiv(c.centipoints, dpi, 7200));
  }
}

TEST_F(Win32MainWindowTest, CursorFileLoadsAndAnythingElseFails) {
  const std::string programFolder = Win32FileSystem().ProgramFolder();
  window.LoadCustomPointerImage(programFolder + "\\..\\HAND-M.CUR");  // the one shipped beside the program
  e2e::TempFolder folder;
  e2e::WriteFileBytes(folder.path() + L"\\bad.cur", "not a cursor at all");
  EXPECT_THROW(window.LoadCustomPointerImage(Narrow(folder.path()) + "\\bad.cur"), Failure);
  EXPECT_THROW(window.LoadCustomPointerImage(Narrow(folder.path()) + "\\missing.cur"), Failure);
}

}  // namespace
}  // namespace vq::win32
