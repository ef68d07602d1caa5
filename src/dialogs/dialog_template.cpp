#include "dialogs/dialog_template.h"

#include <cstring>
#include <cwctype>

namespace {

constexpr WORD kButtonClassAtom = 0x0080;

// A cursor over the template's bytes that never reads past their end.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}
  bool Failed() const { return failed_; }
  WORD Word() {
    WORD value = 0;
    Take(&value, sizeof(value));
    return value;
  }
  DWORD Dword() {
    DWORD value = 0;
    Take(&value, sizeof(value));
    return value;
  }
  void Skip(size_t bytes) { Take(nullptr, bytes); }
  void AlignToDword() { Skip((4 - at_ % 4) % 4); }
  // A terminated UTF-16 text; compared with text when it is not null (ignoring case).
  bool Text(const wchar_t* text) {
    bool same = text != nullptr;
    for (size_t i = 0;; ++i) {
      WORD unit = Word();
      if (failed_)
        return false;
      if (unit == 0)
        return same && text[i] == 0;
      same = same && text[i] != 0 && towlower(unit) == towlower(text[i]);
    }
  }
  // A name or ordinal field: 0 (none), 0xFFFF followed by an ordinal, or a terminated text.
  // Returns the ordinal, or 0 for none or a text (isButtonText: the text is "Button").
  WORD NameOrOrdinal(bool* isButtonText = nullptr) {
    if (isButtonText != nullptr)
      *isButtonText = false;
    if (at_ + 2 > size_) {
      failed_ = true;
      return 0;
    }
    WORD first = static_cast<WORD>(data_[at_] | data_[at_ + 1] << 8);
    if (first == 0) {
      at_ += 2;
      return 0;
    }
    if (first == 0xFFFF) {
      at_ += 2;
      return Word();
    }
    bool button = Text(L"Button");
    if (isButtonText != nullptr)
      *isButtonText = button;
    return 0;
  }

 private:
  void Take(void* dest, size_t bytes) {
    if (failed_ || bytes > size_ - at_) {
      failed_ = true;
      return;
    }
    if (dest != nullptr)
      std::memcpy(dest, data_ + at_, bytes);
    at_ += bytes;
  }

  const BYTE* data_;
  size_t size_;
  size_t at_ = 0;
  bool failed_ = false;
};

bool IsCheckBoxStyle(DWORD style) {
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
      return true;
    default:
      return false;
  }
}

bool FindTemplate(HMODULE module, const wchar_t* templateName, const BYTE*& data, size_t& size) {
  HRSRC found = FindResourceW(module, templateName, RT_DIALOG);
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  data = loaded != nullptr ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  size = found != nullptr ? SizeofResource(module, found) : 0;
  return data != nullptr && size != 0;
}

}  // namespace

bool HasDialogTemplate(HMODULE module, const wchar_t* templateName) {
  const BYTE* data = nullptr;
  size_t size = 0;
  return module != nullptr && FindTemplate(module, templateName, data, size);
}

bool TemplateHasCheckBoxes(HMODULE module, const wchar_t* templateName, const int* ids,
                           size_t count) {
  const BYTE* data = nullptr;
  size_t size = 0;
  if (module == nullptr || !FindTemplate(module, templateName, data, size))
    return false;
  TemplateReader in(data, size);
  // DLGTEMPLATEEX starts with version 1 and the signature 0xFFFF; DLGTEMPLATE with its style.
  const bool extended =
      size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
  DWORD style = 0;
  if (extended) {
    in.Skip(4 + 4 + 4);  // version, signature, help id, extended style
    style = in.Dword();
  } else {
    style = in.Dword();
    in.Skip(4);  // extended style
  }
  const WORD items = in.Word();
  in.Skip(4 * 2);            // position and size
  (void)in.NameOrOrdinal();  // menu
  (void)in.NameOrOrdinal();  // window class
  (void)in.Text(nullptr);    // title
  if ((style & DS_SETFONT) != 0) {
    in.Skip(extended ? 2 + 2 + 1 + 1 : 2);  // point size (weight, italic, character set)
    (void)in.Text(nullptr);                 // typeface
  }

  // Each id's first control: found, and a check box.
  bool seen[64] = {};
  bool box[64] = {};
  if (count > 64)
    return false;
  for (WORD item = 0; item < items && !in.Failed(); ++item) {
    in.AlignToDword();
    DWORD itemStyle = 0;
    DWORD id = 0;
    if (extended) {
      in.Skip(4 + 4);  // help id, extended style
      itemStyle = in.Dword();
      in.Skip(4 * 2);  // position and size
      id = in.Dword();
    } else {
      itemStyle = in.Dword();
      in.Skip(4 + 4 * 2);  // extended style, position and size
      id = in.Word();
    }
    bool buttonText = false;
    const bool button = in.NameOrOrdinal(&buttonText) == kButtonClassAtom || buttonText;
    (void)in.NameOrOrdinal();  // title
    // Creation data: its size in bytes follows; the old layout counts the size word too.
    WORD extra = in.Word();
    in.Skip(!extended && extra >= 2 ? extra - 2 : extra);
    for (size_t i = 0; i < count; ++i) {
      if (!seen[i] && static_cast<int>(id) == ids[i]) {
        seen[i] = true;
        box[i] = button && IsCheckBoxStyle(itemStyle);
      }
    }
  }
  if (in.Failed())
    return false;
  for (size_t i = 0; i < count; ++i) {
    if (!box[i])
      return false;
  }
  return true;
}
