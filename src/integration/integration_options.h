#pragma once
// The record of the user's integration choices, the fixed association table that gives its
// association flags their meaning, and their persistence in the per-user settings.

#include <cstdint>

struct IntegrationOptions {
  uint8_t Associations[20];  // slot i = row i of AssociationTable; 18 and 19 have no row
  uint8_t Desktop;
  uint8_t StartMenu;
  uint8_t Programs;
  uint8_t ShellExt;
  uint8_t CascadedMenu;
  uint8_t MenuIcons;
  uint8_t LegacyMenu;
};

struct AssociationRow {
  const wchar_t* Extensions;   // one or more extensions, each beginning with '.'
  const wchar_t* SettingsKey;  // "Setup\" + primary extension
  const wchar_t* ProgId;       // class key the extensions are given
  int DialogControl;           // check box of the settings dialog
};

constexpr int kAssociationRows = 18;
extern const AssociationRow AssociationTable[kAssociationRows];

// True when HKEY_CLASSES_ROOT\<extension> names "Vellox" or "Vellox.ZIP" (any case).
bool IsOwnAssociation(const wchar_t* extension);
// Fills every field from the per-user settings with defaults and corrections; slots 18 and 19
// are left as they are.
void LoadIntegrationOptions(IntegrationOptions& options);
// Writes every stored field back; refused writes are ignored.
void SaveIntegrationOptions(const IntegrationOptions& options);
