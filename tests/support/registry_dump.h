#pragma once
// Registry trees as text, one line per key and per value, in the syntax of a registry export
// with each line led by its key:
//   [HKEY_LOCAL_MACHINE\Software\Classes\.zip] <key>
//   [HKEY_LOCAL_MACHINE\Software\Classes\.zip] @="Vellox.ZIP"
//   [HKEY_CURRENT_USER\Software\Vellox\Setup\.zip] "Set"=dword:00000001
// Two dumps taken before and after a run compare line by line. Header-only, on Windows and the
// standard library alone, so that the standalone test programs can use it as well as the
// registry sandbox. The dump only reads; a key that cannot be opened adds nothing.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/win_handles.h"

// A value name or text in quotes, with backslash, quote, NUL, CR and LF escaped.
inline std::wstring RegDumpQuoted(const wchar_t* text, size_t length) {
  std::wstring out = L"\"";
  for (size_t i = 0; i < length; ++i) {
    const wchar_t c = text[i];
    if (c == L'\\' || c == L'"') {
      out += L'\\';
      out += c;
    } else if (c == L'\0') {
      out += L"\\0";
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\r') {
      out += L"\\r";
    } else {
      out += c;
    }
  }
  return out + L"\"";
}

// The data of one value in export syntax.
inline std::wstring RegDumpData(DWORD type, const std::vector<BYTE>& data) {
  wchar_t number[32];
  const size_t units = data.size() / sizeof(wchar_t);
  const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
  size_t length = units;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      // Without the one terminator that a well-formed value ends in.
      if (length > 0 && text[length - 1] == L'\0')
        --length;
      if (type == REG_SZ)
        return RegDumpQuoted(text, length);
      (void)std::swprintf(number, 32, L"str(%lu):", static_cast<unsigned long>(type));
      return number + RegDumpQuoted(text, length);
    case REG_DWORD:
      if (data.size() == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        (void)std::swprintf(number, 32, L"dword:%08lx", static_cast<unsigned long>(value));
        return number;
      }
      break;
    default:
      break;
  }
  (void)std::swprintf(number, 32, L"hex(%lx):", static_cast<unsigned long>(type));
  std::wstring out = number;
  for (size_t i = 0; i < data.size(); ++i) {
    (void)std::swprintf(number, 32, i == 0 ? L"%02x" : L",%02x", data[i]);
    out += number;
  }
  return out;
}

// Hands emit one line (without line end) for the key path below parent, shown as shownName,
// then one for each of its values, then the same for each subkey, depth first.
template <typename Emit>
void RegDumpTree(HKEY parent, const std::wstring& path, const std::wstring& shownName,
                 Emit&& emit) {
  UniqueHKey key;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return;
  const std::wstring head = L"[" + shownName + L"] ";
  emit(head + L"<key>");

  std::vector<wchar_t> name(16384);
  std::vector<BYTE> data;
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = 0;
    LONG status =
        RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, nullptr, &size);
    if (status == ERROR_NO_MORE_ITEMS)
      break;
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
      continue;
    data.assign(size, 0);
    nameLength = static_cast<DWORD>(name.size());
    status = RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type,
                           data.empty() ? nullptr : data.data(), &size);
    if (status != ERROR_SUCCESS)
      continue;
    data.resize(size);
    const std::wstring valueName =
        nameLength == 0 ? std::wstring(L"@") : RegDumpQuoted(name.data(), nameLength);
    emit(head + valueName + L"=" + RegDumpData(type, data));
  }

  std::vector<std::wstring> children;
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    const LONG status = RegEnumKeyExW(key.get(), index, name.data(), &nameLength, nullptr, nullptr,
                                      nullptr, nullptr);
    if (status != ERROR_SUCCESS)
      break;
    children.emplace_back(name.data(), nameLength);
  }
  for (const std::wstring& child : children)
    RegDumpTree(key.get(), child, shownName + L"\\" + child, emit);
}
