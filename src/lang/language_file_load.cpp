// Start-up's entry into the language file: where it is, and the right-to-left switch that the
// file or the language library turns on. Kept apart from the parser so that code that only
// parses or looks up does not pull in the language library.

#include <windows.h>

#include "common/string_util.h"
#include "lang/language_file.h"
#include "lang/messages.h"

void LoadLanguageFile(const wchar_t* fileName) {
  wchar_t path[kPathBufferCapacity];
  ApplyLanguageFolder(fileName, path, kPathBufferCapacity);
  ParseLanguageFile(path);
  // A language library for a right-to-left language carries a marker resource. It can only
  // switch the layout on, never off.
  if (ResourceModule != nullptr && FindResourceW(ResourceModule, L"RTL", RT_DIALOG) != nullptr) {
    RightToLeft = true;
  }
  if (RightToLeft) {
    // Every window created from now on is mirrored.
    (void)SetProcessDefaultLayout(LAYOUT_RTL);  // nothing to do when the system refuses
  }
}
