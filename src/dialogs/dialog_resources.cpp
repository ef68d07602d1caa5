#include "dialogs/dialog_resources.h"

#include <windows.h>
#include <objbase.h>

#include "common/platform_services.h"
#include "common/setup_flags.h"
#include "common/win_handles.h"
#include "lang/messages.h"

namespace {

struct DialogResources {
  bool Prepared = false;
  HRESULT Ole = E_FAIL;
  UniqueModule RichEdit;
  HICON Icon = nullptr;  // a shared icon: never destroyed
  UniqueFont BoldFont;
};

DialogResources& Resources() {
  static DialogResources resources;
  return resources;
}

HICON LoadAppIcon() {
  HICON icon = LoadIconW(ResourceModule, L"VLXICON");
  if (icon == nullptr && OwnInstance != ResourceModule)
    icon = LoadIconW(OwnInstance, L"VLXICON");
  return icon;
}

HFONT CreateBoldFont() {
  return CreateFontW(ScaleForDpi(-12), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0,
                     L"MS Shell Dlg");
}

}  // namespace

void PrepareDialogResources() {
  DialogResources& r = Resources();
  if (!r.Prepared) {
    r.Prepared = true;
    // Without OLE the rich-edit control only lacks drag and drop; without the library the
    // settings dialog lacks the control.
    r.Ole = OleInitialize(nullptr);
    r.RichEdit.reset(LoadSystemLibrary(L"riched20.dll"));
    r.Icon = LoadAppIcon();
    r.BoldFont.reset(CreateBoldFont());
  }
  SetupFlags.AppIcon = r.Icon;
  SetupFlags.BoldFont = r.BoldFont.get();
}

void ReleaseDialogResources() {
  DialogResources& r = Resources();
  if (!r.Prepared)
    return;
  r.RichEdit.reset();
  if (SUCCEEDED(r.Ole))
    OleUninitialize();  // balanced with a successful OleInitialize only
  r.Ole = E_FAIL;
  r.Icon = nullptr;
  r.BoldFont.reset();
  r.Prepared = false;
  SetupFlags.AppIcon = nullptr;
  SetupFlags.BoldFont = nullptr;
}
