#pragma once
// The context-menu items dialog SETUPCONTEXTITEMS: which commands the shell extension puts
// into Explorer's context, "New" and drag-and-drop menus, which top-level items the new shell
// shows when the menu is not cascaded, and the masks of files always treated as archives.
// Its choices are written to the per-user settings on OK, whatever the settings dialog that
// opened it does afterwards; Cancel writes nothing.

#include <windows.h>

// One check box and the per-user value behind it ("Setup\MenuItems" or "Setup\TopMenuItems").
struct MenuItemRow {
  const wchar_t* ValueName;
  int ControlId;
  int Default;
  bool ClassicOnly;  // hidden while the top-level items are offered
};
struct TopMenuItemRow {
  const wchar_t* ValueName;
  int ControlId;
  int Default;
  int Group;  // only the first row of a group that reads as on is shown checked
};

constexpr int kMenuItemRows = 19;
constexpr int kTopMenuItemRows = 6;
extern const MenuItemRow MenuItemTable[kMenuItemRows];
extern const TopMenuItemRow TopMenuItemTable[kTopMenuItemRows];

// Creation parameter: 1 when the settings dialog has the cascaded menu checked, else 0.
// Ends with 1 after OK and 0 after Cancel.
INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
