#include "lang/dialog_localize.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "common/string_util.h"
#include "common/text_encoding.h"
#include "lang/language_file.h"
#include "lang/language_key_table.h"

namespace {

// Only this many child windows are scaled.
constexpr int kMaxScaledChildren = 512;
// Factors above this many percent are taken as malformed: they would only push windows far
// off the screen and the arithmetic out of range.
constexpr int64_t kMaxScalePercent = 1000;

// Window sizes are counted one more than the difference of the rectangle's edges.
int64_t WidthOf(const RECT& r) {
  return static_cast<int64_t>(r.right) - r.left + 1;
}
int64_t HeightOf(const RECT& r) {
  return static_cast<int64_t>(r.bottom) - r.top + 1;
}

// The SIZE entry's factors, or false when the dialog is not to be scaled.
bool ReadScale(const wchar_t* name, int64_t& sx, int64_t& sy) {
  wchar_t size[512];
  if (!FindDialogText(name, L"SIZE", size, 512))
    return false;
  const wchar_t* asterisk = std::wcschr(size, L'*');
  if (asterisk == nullptr)
    return false;
  sx = DecimalToInt(size);
  sy = DecimalToInt(asterisk + 1);
  if (sx <= 0 || sy <= 0 || sx > kMaxScalePercent || sy > kMaxScalePercent)
    return false;
  return !(sx == 100 && sy == 100);
}

void SetControlTexts(HWND dialog, const wchar_t* name) {
  wchar_t widePrefix[80] = L"$";
  AppendBounded(widePrefix, name);
  AppendBounded(widePrefix, L":");
  char prefix[80];
  // A name that does not convert must not turn into an empty prefix that every row matches.
  if (!WideToAnsi(widePrefix, prefix, sizeof(prefix)))
    return;
  const size_t prefixLength = std::strlen(prefix);
  if (prefixLength < 3)
    return;
  wchar_t text[1024];
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    const LanguageKeyRow& row = LanguageKeyTable[i];
    if (row.Id == 0 || std::strncmp(row.Key, prefix, prefixLength) != 0)
      continue;
    if (FindTextByKey(row.Key, text, 1024)) {
      (void)SetDlgItemTextW(dialog, static_cast<int>(row.Id), text);  // no such control: nothing
    }
  }
}

void ScaleChild(HWND child, const RECT& window, int64_t fw, int64_t dy, int64_t sx, int64_t sy,
                bool mirrored) {
  RECT r;
  if (!GetWindowRect(child, &r))
    return;
  // In a mirrored dialog client positions count from the right edge.
  const int64_t fromEdge = mirrored ? static_cast<int64_t>(window.right) - fw / 2 - r.right
                                    : static_cast<int64_t>(r.left) - fw / 2 - window.left;
  const int64_t x = fromEdge * sx / 100;
  const int64_t y = (static_cast<int64_t>(r.top) - dy - window.top) * sy / 100;
  const int64_t width = WidthOf(r) * sx / 100;
  int64_t height = HeightOf(r) * sy / 100;

  wchar_t className[kPathBufferCapacity];
  if (GetClassNameW(child, className, kPathBufferCapacity) > 0 &&
      CompareNoCase(className, L"COMBOBOX") == 0 &&
      (GetWindowLongW(child, GWL_STYLE) & 3) != CBS_SIMPLE) {
    // The height that SetWindowPos gives a combo box includes its drop-down list.
    RECT dropped = {};
    (void)SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    height += HeightOf(dropped) * sy / 100;
  }
  (void)SetWindowPos(child, nullptr, static_cast<int>(x), static_cast<int>(y),
                     static_cast<int>(width), static_cast<int>(height),
                     SWP_NOZORDER | SWP_NOOWNERZORDER);
}

}  // namespace

void LocalizeDialog(HWND dialog, const wchar_t* name) {
  SetControlTexts(dialog, name);

  int64_t sx = 100;
  int64_t sy = 100;
  const bool scaling = ReadScale(name, sx, sy);

  RECT window = {};
  RECT client = {};
  (void)GetWindowRect(dialog, &window);
  (void)GetClientRect(dialog, &client);
  const int64_t ww = WidthOf(window);
  const int64_t wh = HeightOf(window);
  const int64_t fw = ww - client.right;
  const int64_t fh = wh - client.bottom;

  if (scaling) {
    const int64_t nw = client.right * sx / 100 + fw;
    const int64_t nh = client.bottom * sy / 100 + fh;
    int64_t left = window.left + (ww - nw) / 2;
    int64_t top = window.top + (wh - nh) / 2;
    if (left < 0)
      left = 0;
    if (top < 0)
      top = 0;
    // A centred dialog grows evenly around its centre; any other keeps its position.
    UINT flags = SWP_NOZORDER | SWP_NOOWNERZORDER;
    if ((GetWindowLongW(dialog, GWL_STYLE) & DS_CENTER) == 0)
      flags |= SWP_NOMOVE;
    (void)SetWindowPos(dialog, nullptr, static_cast<int>(left), static_cast<int>(top),
                       static_cast<int>(nw), static_cast<int>(nh), flags);
    (void)GetWindowRect(dialog, &window);
  }

  wchar_t caption[1024];
  if (FindDialogText(name, L"CAPTION", caption, 1024))
    (void)SetWindowTextW(dialog, caption);

  if (!scaling)
    return;
  const int64_t dy = fh - GetSystemMetrics(SM_CYDLGFRAME);
  const bool mirrored = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  const HWND first = GetWindow(dialog, GW_CHILD);
  HWND child = first;
  for (int n = 0; child != nullptr && n < kMaxScaledChildren; ++n) {
    ScaleChild(child, window, fw, dy, sx, sy, mirrored);
    child = GetWindow(child, GW_HWNDNEXT);
    if (child == first)
      break;
  }
}

void ApplyRtlLayout(HWND window) {
  if (!RightToLeft)
    return;
  const LONG style = GetWindowLongW(window, GWL_EXSTYLE);
  (void)SetWindowLongW(window, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
}
