#pragma once
// The constant table that ties message IDs and dialog control IDs to the names used in the
// language file. A key is a section prefix ("s:" for messages, "$DIALOG:" for a dialog's
// controls) followed by the name. Rows with ID 0 are reserved dialog items (SIZE, CAPTION)
// that are read by name and never applied to a control.

#include <cstddef>
#include <cstdint>

struct LanguageKeyRow {
  uint32_t Id;
  const char* Key;
};

extern const LanguageKeyRow LanguageKeyTable[];
extern const size_t LanguageKeyTableCount;
