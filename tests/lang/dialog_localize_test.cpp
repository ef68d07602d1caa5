#include "lang/dialog_localize.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lang/language_file.h"
#include "lang/language_key_table.h"
#include "resources/resource.h"

namespace {

// Builds a dialog template in memory.
class TemplateBuilder {
 public:
  TemplateBuilder(DWORD style, short cx, short cy, const wchar_t* title, DWORD exStyle = 0) {
    Dword(style | DS_SETFONT);
    Dword(exStyle);
    countAt_ = words_.size();
    Word(0);
    Word(10);  // x, y: away from the screen's corner
    Word(10);
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // standard class
    String(title);
    Word(8);
    String(L"MS Shell Dlg");
  }

  // atom: 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box.
  void Item(WORD atom, WORD id, short x, short y, short cx, short cy, const wchar_t* text,
            DWORD style = 0) {
    while (words_.size() % 2)
      Word(0);  // DWORD alignment
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(static_cast<WORD>(x));
    Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx));
    Word(static_cast<WORD>(cy));
    Word(id);
    Word(0xFFFF);
    Word(atom);
    String(text);
    Word(0);
    ++words_[countAt_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void String(const wchar_t* s) {
    for (; *s; ++s)
      Word(*s);
    Word(0);
  }
  std::vector<WORD> words_;
  size_t countAt_ = 0;
};

struct Measure {
  RECT Window;
  RECT Client;
  std::vector<RECT> Children;
  std::vector<RECT> Dropped;  // combo boxes: the dropped-down rectangle, else empty
};

Measure MeasureDialog(HWND dialog) {
  Measure m;
  GetWindowRect(dialog, &m.Window);
  GetClientRect(dialog, &m.Client);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(child, &r);
    m.Children.push_back(r);
    RECT d = {};
    wchar_t cls[64];
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, L"ComboBox") == 0)
      SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, (LPARAM)&d);
    m.Dropped.push_back(d);
  }
  return m;
}

struct DialogRun {
  const wchar_t* Name;
  Measure Before;
  bool Pinned = false;  // PinGeometry before localisation
};

// The geometry the worked examples start from, in pixels, whatever the font and the frame
// metrics: a borderless dialog whose window rectangle is (100,80)-(500,380), so that its
// client area is 400 by 300 and its frame counts 1 unit each way (sizes count one more than
// the difference of the edges), and two children at client (10,20) 50x14 and (7,2) 33x9.
void PinGeometry(HWND dialog) {
  (void)SetWindowPos(dialog, nullptr, 100, 80, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT children[] = {{10, 20, 50, 14}, {7, 2, 33, 9}};  // x, y, width, height
  HWND child = GetWindow(dialog, GW_CHILD);
  for (const RECT& c : children) {
    (void)SetWindowPos(child, nullptr, c.left, c.top, c.right, c.bottom,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    child = GetWindow(child, GW_HWNDNEXT);
  }
}

// A borderless dialog with two children, for PinGeometry.
TemplateBuilder PinnedDialog(DWORD style) {
  TemplateBuilder t(style | WS_POPUP, 200, 150, L"Pinned");
  t.Item(0x82, 5129, 0, 0, 10, 10, L"Label");
  t.Item(0x80, IDOK, 0, 0, 10, 10, L"OK");
  return t;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  // As the common dialog pre-handler does.
  if (message == WM_SETFONT)
    ApplyRtlLayout(dialog);
  if (message == WM_INITDIALOG) {
    auto* run = reinterpret_cast<DialogRun*>(lParam);
    if (run->Pinned)
      PinGeometry(dialog);
    run->Before = MeasureDialog(dialog);
    LocalizeDialog(dialog, run->Name);
    return TRUE;
  }
  return FALSE;
}

class DialogLocalizeTest : public testing::Test {
 protected:
  void TearDown() override {
    if (dialog_)
      DestroyWindow(dialog_);
    ClearLanguageFile();
  }
  static void Load(const std::wstring& body) {
    const std::wstring text = L"***messages***\r\n" + body;
    ParseLanguageFileText(text.c_str(), text.size());
  }
  // Creates the dialog; run.Before holds what the template made, the result what
  // localisation made of it.
  Measure Create(const TemplateBuilder& t, DialogRun& run) {
    if (dialog_)
      DestroyWindow(dialog_);
    dialog_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), t.Get(), nullptr, DialogProc,
                                         reinterpret_cast<LPARAM>(&run));
    EXPECT_NE(dialog_, nullptr) << "dialogs need a display (Xvfb); error " << GetLastError();
    if (!dialog_)
      return {};
    return MeasureDialog(dialog_);
  }
  std::wstring Text(int id) const {
    wchar_t text[2048];
    GetDlgItemTextW(dialog_, id, text, 2048);
    return text;
  }
  HWND dialog_ = nullptr;
};

int64_t H(const RECT& r) {
  return int64_t{r.bottom} - r.top + 1;
}

// The child rectangles of a measure in the dialog's client coordinates (for a mirrored dialog
// measured from the client area's right edge).
std::vector<RECT> ClientRects(HWND dialog, const Measure& m, bool mirrored) {
  POINT origin = {0, 0};  // in a mirrored window the client origin is its right edge
  ClientToScreen(dialog, &origin);
  std::vector<RECT> result;
  for (const RECT& r : m.Children) {
    if (mirrored) {
      result.push_back(
          {origin.x - r.right, r.top - origin.y, origin.x - r.left, r.bottom - origin.y});
    } else {
      result.push_back(
          {r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y});
    }
  }
  return result;
}

void ExpectRect(const RECT& actual, const RECT& expected, const char* what, size_t i) {
  EXPECT_TRUE(EqualRect(&actual, &expected))
      << what << " " << i << ": got " << actual.left << "," << actual.top << " " << actual.right
      << "," << actual.bottom << " expected " << expected.left << "," << expected.top << " "
      << expected.right << "," << expected.bottom;
}

TemplateBuilder SmallDialog(DWORD style) {
  TemplateBuilder t(style | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 200, 120, L"Test");
  t.Item(0x82, 5129, 7, 7, 90, 10, L"Label");
  t.Item(0x80, 5101, 7, 20, 60, 12, L"Check", BS_AUTOCHECKBOX);
  t.Item(0x81, 5127, 7, 36, 120, 12, L"C:\\Program Files\\Vellox", ES_AUTOHSCROLL | WS_BORDER);
  t.Item(0x80, IDOK, 140, 98, 50, 14, L"OK", BS_DEFPUSHBUTTON);
  return t;
}

// The pinned dialog scaled, worked by hand. Window: width 400 * sx / 100 + 1 (frame), height
// 300 * sy / 100 + 1; a centred dialog moves left by (new width - 401) / 2 and up by
// (new height - 301) / 2 (rounded toward zero), any other keeps (100,80). Children, in client
// coordinates: x = 10 * sx / 100, y = (top + 2 - 80) * sy / 100 (the frame less the 3-pixel
// dialog frame is -2), width = (50 + 1) * sx / 100, height = (14 + 1) * sy / 100, and likewise
// for the second child. Divisions round down.
TEST_F(DialogLocalizeTest, ScalingWorkedExamples) {
  ASSERT_EQ(GetSystemMetrics(SM_CYDLGFRAME), 3) << "the examples assume a 3-pixel dialog frame";
  struct Case {
    const wchar_t* Size;
    DWORD Style;
    RECT Window;
    RECT Children[2];
  };
  const Case cases[] = {
      // 120*150: width 400*1.2+1 = 481, height 300*1.5+1 = 451. First child x 10*1.2 = 12,
      // y 22*1.5 = 33, width 51*1.2 = 61.2, height 15*1.5 = 22.5; second child x 7*1.2 = 8.4,
      // y (82+2-80)*1.5 = 6, width 34*1.2 = 40.8, height 10*1.5 = 15.
      {L"120*150", 0, {100, 80, 581, 531}, {{12, 33, 73, 55}, {8, 6, 48, 21}}},
      // Centred, text after the factors ignored: left 100 + (401-481)/2 = 60,
      // top 80 + (301-451)/2 = 5.
      {L"120*150 extra", DS_CENTER, {60, 5, 541, 456}, {{12, 33, 73, 55}, {8, 6, 48, 21}}},
      // 75*101 centred: width 300+1 = 301, height 303+1 = 304, left 100 + 100/2 = 150,
      // top 80 + (-3)/2 = 79. First child x 7.5, y 22.22, width 38.25, height 15.15; second
      // x 5.25, y 4.04, width 25.5, height 10.1.
      {L"75*101", DS_CENTER, {150, 79, 451, 383}, {{7, 22, 45, 37}, {5, 4, 30, 14}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Size << (c.Style ? " centred" : ""));
    Load(L":DIALOG SETUPDLG\r\nSIZE " + std::wstring(c.Size) + L"\r\n");
    DialogRun run = {L"SETUPDLG", {}, true};
    const Measure after = Create(PinnedDialog(c.Style), run);
    ASSERT_NE(dialog_, nullptr);
    ExpectRect(run.Before.Window, {100, 80, 500, 380}, "pinned window", 0);
    ExpectRect(after.Window, c.Window, "window", 0);
    const std::vector<RECT> children = ClientRects(dialog_, after, false);
    ASSERT_EQ(children.size(), 2u);
    for (size_t i = 0; i < children.size(); ++i)
      ExpectRect(children[i], c.Children[i], "child", i);
  }
}

TEST_F(DialogLocalizeTest, MalformedOrNeutralSizeChangesNothing) {
  for (const wchar_t* size : {L"100*100", L"120", L"0*120", L"-10*120", L"120*0", L"abc*def", L"*",
                              L"", L"2000*100", L"120x110"}) {
    SCOPED_TRACE(testing::Message() << "SIZE \"" << size << "\"");
    Load(L":DIALOG SETUPDLG\r\nSIZE \"" + std::wstring(size) + L"\"\r\n");
    DialogRun run = {L"SETUPDLG", {}};
    const Measure after = Create(SmallDialog(DS_CENTER), run);
    ASSERT_NE(dialog_, nullptr);
    ExpectRect(after.Window, run.Before.Window, "window", 0);
    for (size_t i = 0; i < after.Children.size(); ++i) {
      ExpectRect(after.Children[i], run.Before.Children[i], "child", i);
    }
  }
}

TEST_F(DialogLocalizeTest, CentredDialogIsNeverMovedOffTheScreen) {
  // Width 400*3+1 = 1201, height 300*3+1 = 901; left 100 + (401-1201)/2 = -300 and
  // top 80 + (301-901)/2 = -220 are both held at 0.
  Load(L":DIALOG SETUPDLG\r\nSIZE 300*300\r\n");
  DialogRun run = {L"SETUPDLG", {}, true};
  const Measure after = Create(PinnedDialog(DS_CENTER), run);
  ASSERT_NE(dialog_, nullptr);
  ExpectRect(after.Window, {0, 0, 1201, 901}, "window", 0);
}

TEST_F(DialogLocalizeTest, ComboBoxesCountTheirDropDownList) {
  Load(L":DIALOG SETUPDLG\r\nSIZE 100*150\r\n");
  TemplateBuilder t(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 200, 150, L"Combos");
  t.Item(0x85, 300, 7, 7, 100, 80, L"", CBS_DROPDOWNLIST | WS_VSCROLL);
  t.Item(0x85, 301, 7, 30, 100, 60, L"", CBS_SIMPLE);
  DialogRun run = {L"SETUPDLG", {}};
  const Measure after = Create(t, run);
  ASSERT_NE(dialog_, nullptr);
  // Drop-down: the height given is the box's plus its scaled list. The combo box keeps such a
  // height as its dropped-down rectangle; compare with one given that height directly.
  const int64_t boxHeight = H(run.Before.Children[0]) * 150 / 100;
  const int64_t listHeight = H(run.Before.Dropped[0]) * 150 / 100;
  const RECT scaledDropped = after.Dropped[0];
  const RECT scaledBox = after.Children[0];
  Load(L"");
  DialogRun plain = {L"SETUPDLG", {}};
  Create(t, plain);
  ASSERT_NE(dialog_, nullptr);
  SetWindowPos(GetDlgItem(dialog_, 300), nullptr, 0, 0, scaledBox.right - scaledBox.left,
               static_cast<int>(boxHeight + listHeight), SWP_NOMOVE | SWP_NOZORDER);
  const Measure reference = MeasureDialog(dialog_);
  EXPECT_EQ(scaledDropped.bottom - scaledDropped.top,
            reference.Dropped[0].bottom - reference.Dropped[0].top);
  EXPECT_EQ(scaledBox.bottom - scaledBox.top,
            reference.Children[0].bottom - reference.Children[0].top);
  // Simple: just the scaled height.
  EXPECT_EQ(after.Children[1].bottom - after.Children[1].top,
            H(run.Before.Children[1]) * 150 / 100);
}

TEST_F(DialogLocalizeTest, OnlyTheFirst512ChildrenAreScaled) {
  Load(L":DIALOG SETUPDLG\r\nSIZE 150*100\r\n");
  TemplateBuilder t(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 300, 200, L"Many");
  for (int i = 0; i < 520; ++i) {
    t.Item(0x82, static_cast<WORD>(1000 + i), static_cast<short>(2 + (i % 26) * 11),
           static_cast<short>(2 + (i / 26) * 9), 10, 8, L"x");
  }
  DialogRun run = {L"SETUPDLG", {}};
  const Measure after = Create(t, run);
  ASSERT_NE(dialog_, nullptr);
  ASSERT_EQ(after.Children.size(), 520u);
  for (size_t i = 0; i < 520; ++i) {
    const bool scaled = after.Children[i].right - after.Children[i].left !=
                        run.Before.Children[i].right - run.Before.Children[i].left;
    EXPECT_EQ(scaled, i < 512) << i;
  }
}

TEST_F(DialogLocalizeTest, TextsAndCaption) {
  const std::wstring longText(1500, L'l');
  Load(
      L":DIALOG SETUPDLG\r\nCAPTION \"Vellox-Einrichtung\"\r\nIDC_ASSOCVLX \"VLX-Archive\"\r\n"
      L"IDC_ASSOCWITH " +
      longText +
      L"\r\nIDC_SETUPINFOTEXT \"not in the key table\"\r\n"
      L":DIALOG DONEDLG\r\nIDOK \"Fertig\"\r\nCAPTION other\r\n");
  DialogRun run = {L"SETUPDLG", {}};
  const Measure after = Create(SmallDialog(0), run);
  ASSERT_NE(dialog_, nullptr);
  wchar_t caption[256];
  GetWindowTextW(dialog_, caption, 256);
  EXPECT_STREQ(caption, L"Vellox-Einrichtung");
  EXPECT_EQ(Text(IDC_ASSOCVLX), L"VLX-Archive");
  EXPECT_EQ(Text(IDC_ASSOCWITH), longText.substr(0, 1023));
  EXPECT_EQ(Text(IDC_SETUPINFOTEXT), L"C:\\Program Files\\Vellox");  // no language key
  EXPECT_EQ(Text(IDOK), L"OK");                                      // the other dialog's entry
  // No SIZE entry: nothing moves.
  ExpectRect(after.Window, run.Before.Window, "window", 0);

  // The same file for a dialog it does not name leaves everything as the template made it.
  DialogRun other = {L"SETUPCONTEXTITEMS", {}};
  Create(SmallDialog(0), other);
  GetWindowTextW(dialog_, caption, 256);
  EXPECT_STREQ(caption, L"Test");
  EXPECT_EQ(Text(IDC_ASSOCVLX), L"Check");
}

TEST_F(DialogLocalizeTest, RightToLeftMirrorsTheDialogAndKeepsTheEditLeftToRight) {
  DialogRun ltrRun = {L"SETUPDLG", {}};
  Create(SmallDialog(0), ltrRun);
  ASSERT_NE(dialog_, nullptr);
  const LONG ltrStyle = GetWindowLongW(dialog_, GWL_EXSTYLE);
  EXPECT_EQ(ltrStyle & WS_EX_LAYOUTRTL, 0);
  const std::vector<RECT> ltr = ClientRects(dialog_, MeasureDialog(dialog_), false);

  Load(L":DIRECTION RTL\r\n");
  ASSERT_TRUE(RightToLeft);
  DialogRun rtlRun = {L"SETUPDLG", {}};
  Create(SmallDialog(0), rtlRun);
  ASSERT_NE(dialog_, nullptr);
  EXPECT_EQ(GetWindowLongW(dialog_, GWL_EXSTYLE), ltrStyle | WS_EX_LAYOUTRTL);
  // Each control sits as far from the right edge as it sat from the left one.
  const std::vector<RECT> rtl = ClientRects(dialog_, MeasureDialog(dialog_), true);
  ASSERT_EQ(rtl.size(), ltr.size());
  for (size_t i = 0; i < rtl.size(); ++i)
    ExpectRect(rtl[i], ltr[i], "mirrored child", i);
  // The path field reads left to right: no right-to-left reading order, text unchanged.
  HWND edit = GetDlgItem(dialog_, IDC_SETUPINFOTEXT);
  EXPECT_EQ(GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_RTLREADING, 0);
  EXPECT_EQ(Text(IDC_SETUPINFOTEXT), L"C:\\Program Files\\Vellox");
}

TEST_F(DialogLocalizeTest, RightToLeftScalingKeepsControlsOnTheirSide) {
  // The same scaled dialog, once left to right and once mirrored: every control keeps its
  // distance from its own leading edge.
  Load(L":DIALOG SETUPDLG\r\nSIZE 125*110\r\n");
  DialogRun ltrRun = {L"SETUPDLG", {}};
  Create(SmallDialog(DS_CENTER), ltrRun);
  ASSERT_NE(dialog_, nullptr);
  const std::vector<RECT> ltr = ClientRects(dialog_, MeasureDialog(dialog_), false);

  Load(L":DIRECTION RTL\r\n:DIALOG SETUPDLG\r\nSIZE 125*110\r\n");
  DialogRun rtlRun = {L"SETUPDLG", {}};
  Create(SmallDialog(DS_CENTER), rtlRun);
  ASSERT_NE(dialog_, nullptr);
  const std::vector<RECT> rtl = ClientRects(dialog_, MeasureDialog(dialog_), true);
  ASSERT_EQ(rtl.size(), ltr.size());
  for (size_t i = 0; i < rtl.size(); ++i)
    ExpectRect(rtl[i], ltr[i], "mirrored child", i);

  // The pinned dialog mirrored gives the children of the left-to-right worked example
  // (120*150), counted from the right edge.
  Load(L":DIRECTION RTL\r\n:DIALOG SETUPDLG\r\nSIZE 120*150\r\n");
  DialogRun pinned = {L"SETUPDLG", {}, true};
  Create(PinnedDialog(0), pinned);
  ASSERT_NE(dialog_, nullptr);
  const std::vector<RECT> mirrored = ClientRects(dialog_, MeasureDialog(dialog_), true);
  ASSERT_EQ(mirrored.size(), 2u);
  ExpectRect(mirrored[0], {12, 33, 73, 55}, "worked example", 0);
  ExpectRect(mirrored[1], {8, 6, 48, 21}, "worked example", 1);
}

TEST_F(DialogLocalizeTest, ApplyRtlLayoutOnlyWhenRightToLeft) {
  TemplateBuilder t(WS_POPUP | WS_CAPTION, 100, 50, L"Plain");
  DialogRun run = {L"NONE", {}};
  Create(t, run);
  ASSERT_NE(dialog_, nullptr);
  const LONG before = GetWindowLongW(dialog_, GWL_EXSTYLE);
  ApplyRtlLayout(dialog_);
  EXPECT_EQ(GetWindowLongW(dialog_, GWL_EXSTYLE), before);
  RightToLeft = true;
  ApplyRtlLayout(dialog_);
  EXPECT_EQ(GetWindowLongW(dialog_, GWL_EXSTYLE), before | WS_EX_LAYOUTRTL);
}

// "$NAME:" in the ANSI code page, as the key table spells dialog prefixes.
void WideToAnsiForTest(const wchar_t* name, char (&prefix)[80]) {
  std::string p = "$";
  for (const wchar_t* c = name; *c; ++c)
    p += static_cast<char>(*c);
  p += ":";
  lstrcpynA(prefix, p.c_str(), 80);
}

// The program's own templates with the sample translations: every control that the key table
// names for the dialog and that the template has gets its translated text, and the caption is
// translated. With VLX_LANG_SHOW_DIR set, each dialog stays on the screen until the file
// "<language>-<dialog>.ready" that it writes there is deleted (for screenshots).
TEST_F(DialogLocalizeTest, RealTemplatesWithTheSamples) {
  (void)LoadLibraryW(L"riched20.dll");  // the settings dialog has a rich-edit field
  wchar_t showDir[1024] = L"";
  GetEnvironmentVariableW(L"VLX_LANG_SHOW_DIR", showDir, 1024);
  wchar_t exe[2048];
  GetModuleFileNameW(nullptr, exe, 2048);
  std::wstring folder = exe;
  folder = folder.substr(0, folder.find_last_of(L'\\')) + L"\\languages\\";
  for (const wchar_t* language : {L"German", L"Hebrew"}) {
    for (const wchar_t* name : {L"SETUPDLG", L"SETUPCONTEXTITEMS", L"DONEDLG"}) {
      SCOPED_TRACE(testing::Message() << language << " " << name);
      ParseLanguageFile((folder + language + L"\\uninstall.lng").c_str());
      ASSERT_GT(LanguageEntryCount(), 0u);
      DialogRun run = {name, {}};
      if (dialog_)
        DestroyWindow(dialog_);
      dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), name, nullptr, DialogProc,
                                   reinterpret_cast<LPARAM>(&run));
      ASSERT_NE(dialog_, nullptr) << GetLastError();
      EXPECT_EQ((GetWindowLongW(dialog_, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, RightToLeft);
      wchar_t caption[256];
      GetWindowTextW(dialog_, caption, 256);
      wchar_t expected[1024];
      ASSERT_TRUE(FindDialogText(name, L"CAPTION", expected, 1024));
      EXPECT_STREQ(caption, expected);
      char prefix[80];
      WideToAnsiForTest(name, prefix);
      int controls = 0;
      for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
        const LanguageKeyRow& row = LanguageKeyTable[i];
        if (row.Id == 0 || std::string(row.Key).rfind(prefix, 0) != 0)
          continue;
        if (!GetDlgItem(dialog_, static_cast<int>(row.Id)))
          continue;
        ++controls;
        ASSERT_TRUE(FindTextByKey(row.Key, expected, 1024));
        EXPECT_EQ(Text(static_cast<int>(row.Id)), expected) << row.Key;
      }
      EXPECT_GT(controls, 3);
      if (showDir[0]) {
        ShowWindow(dialog_, SW_SHOW);
        const std::wstring ready =
            std::wstring(showDir) + L"\\" + language + L"-" + name + L".ready";
        CloseHandle(
            CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        for (int i = 0; i < 600 && GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES;
             ++i) {
          MSG msg;
          while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
          Sleep(50);
        }
      }
    }
  }
}

}  // namespace
