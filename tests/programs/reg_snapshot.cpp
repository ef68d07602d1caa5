// Prints registry trees as text, one line per key and per value, so that two snapshots taken
// before and after a program run can be compared with diff. One process reads every key asked
// for, which is far quicker under Wine than one "reg export" per key.
//
//   reg_snapshot.exe KEY [KEY|PATTERN;PATTERN...] ...
//
// KEY is a full key name (HKLM\..., HKCU\..., or the long root names); the key and everything
// below it is printed. KEY|PATTERNS prints only the subkeys of KEY whose names match one of the
// patterns (case-insensitive; ? is any one character, * any run of characters), each with
// everything below it. Missing keys print nothing.
//
// Output, UTF-8, in the syntax of a registry export, each line led by its key:
//   [HKEY_LOCAL_MACHINE\Software\Classes\.zip] <key>
//   [HKEY_LOCAL_MACHINE\Software\Classes\.zip] @="Vellox.ZIP"
//   [HKEY_CURRENT_USER\Software\Vellox\Setup\.zip] "Set"=dword:00000001
// Exit code 0, or 1 for a malformed argument.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

struct RootName {
  const wchar_t* Short;
  const wchar_t* Long;
  HKEY Root;
};

const RootName kRoots[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

class OpenKey {
 public:
  OpenKey(HKEY parent, const std::wstring& path) {
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~OpenKey() {
    if (key_ != nullptr)
      RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

void Print(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                      nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::wstring Quoted(const wchar_t* text, size_t length) {
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
std::wstring FormatData(DWORD type, const std::vector<BYTE>& data) {
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
        return Quoted(text, length);
      std::swprintf(number, 32, L"str(%lu):", static_cast<unsigned long>(type));
      return number + Quoted(text, length);
    case REG_DWORD:
      if (data.size() == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        std::swprintf(number, 32, L"dword:%08lx", static_cast<unsigned long>(value));
        return number;
      }
      break;
    default:
      break;
  }
  std::swprintf(number, 32, L"hex(%lx):", static_cast<unsigned long>(type));
  std::wstring out = number;
  for (size_t i = 0; i < data.size(); ++i) {
    std::swprintf(number, 32, i == 0 ? L"%02x" : L",%02x", data[i]);
    out += number;
  }
  return out;
}

void DumpTree(HKEY parent, const std::wstring& path, const std::wstring& shownName) {
  OpenKey key(parent, path);
  if (key.get() == nullptr)
    return;
  const std::wstring head = L"[" + shownName + L"] ";
  Print(head + L"<key>\n");

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
        nameLength == 0 ? std::wstring(L"@") : Quoted(name.data(), nameLength);
    Print(head + valueName + L"=" + FormatData(type, data) + L"\n");
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
    DumpTree(key.get(), child, shownName + L"\\" + child);
}

// Case-insensitive wildcard match: ? is one character, * any run.
bool Matches(const wchar_t* pattern, const wchar_t* text) {
  if (*pattern == L'\0')
    return *text == L'\0';
  if (*pattern == L'*')
    return Matches(pattern + 1, text) || (*text != L'\0' && Matches(pattern, text + 1));
  if (*text == L'\0')
    return false;
  if (*pattern != L'?' && towupper(*pattern) != towupper(*text))
    return false;
  return Matches(pattern + 1, text + 1);
}

bool MatchesAny(const std::wstring& patterns, const std::wstring& name) {
  size_t start = 0;
  while (start <= patterns.size()) {
    size_t end = patterns.find(L';', start);
    if (end == std::wstring::npos)
      end = patterns.size();
    if (Matches(patterns.substr(start, end - start).c_str(), name.c_str()))
      return true;
    start = end + 1;
  }
  return false;
}

bool Dump(const std::wstring& argument) {
  const size_t bar = argument.find(L'|');
  const std::wstring full = argument.substr(0, bar);
  const size_t slash = full.find(L'\\');
  const std::wstring rootText = full.substr(0, slash);
  const std::wstring path = slash == std::wstring::npos ? std::wstring() : full.substr(slash + 1);
  const RootName* root = nullptr;
  for (const RootName& candidate : kRoots) {
    if (_wcsicmp(candidate.Short, rootText.c_str()) == 0 ||
        _wcsicmp(candidate.Long, rootText.c_str()) == 0)
      root = &candidate;
  }
  if (root == nullptr)
    return false;
  const std::wstring shown = path.empty() ? root->Long : std::wstring(root->Long) + L"\\" + path;
  if (bar == std::wstring::npos) {
    DumpTree(root->Root, path, shown);
    return true;
  }
  const std::wstring patterns = argument.substr(bar + 1);
  OpenKey key(root->Root, path);
  if (key.get() == nullptr)
    return true;
  std::vector<wchar_t> name(16384);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      break;
    const std::wstring child(name.data(), nameLength);
    if (MatchesAny(patterns, child))
      DumpTree(key.get(), child, shown + L"\\" + child);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    if (!Dump(argv[i])) {
      std::fwprintf(stderr, L"not a key name: %ls\n", argv[i]);
      exitCode = 1;
    }
  }
  std::fflush(stdout);
  return exitCode;
}
