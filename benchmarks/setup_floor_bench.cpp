// The floor of the Setup benchmark: the least a program can do to make exactly the changes that
// a silent Setup's administrator's log lists, with plain Win32 calls.
//
//   setup_floor_bench prepare <log> <replay> <nsis script> <data folder>
//     Run in the prefix where the logged Setup just ran. Turns the log's changes into a replay
//     file, in order, and into an NSIS script doing the same work (the peer). What the log does
//     not spell out is read from the result the program left: the bytes of each file it made
//     (written beside the script for NSIS's File instruction) and the fields of each shortcut.
//     Fails on a change it cannot replay.
//   setup_floor_bench <replay>
//     The timed run, on a fresh prefix: reads the replay file and makes its changes. Keys are
//     opened once for consecutive values; nothing is read back.
//
// The replay file is UTF-8, one change a line, fields separated by tabs and escaped as in the
// log (%XX, %uXXXX). Lines: "key ROOT VIEW PATH", "value ROOT VIEW PATH NAME TYPE HEX",
// "delvalue ROOT VIEW PATH NAME", "delkey ROOT VIEW PATH", "folder PATH", "delfolder PATH",
// "file PATH HEX", "delfile PATH", "link PATH TARGET ARGS WORKDIR DESCRIPTION ICON INDEX SHOW
// HOTKEY" and "notify" (SHChangeNotify of an association change: the program sends one after
// the shell extension keys and one after the associations; the log does not list them).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::wstring>;

// --- Text -------------------------------------------------------------------------------------

std::wstring FromUtf8(const std::string& text) {
  if (text.empty())
    return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  (void)MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty())
    return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n,
                            nullptr, nullptr);
  return narrow;
}

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%' && i + 5 < text.size() && text[i + 1] == L'u') {
      out += static_cast<wchar_t>(std::wcstoul(text.substr(i + 2, 4).c_str(), nullptr, 16));
      i += 5;
    } else if (text[i] == L'%' && i + 2 < text.size()) {
      out += static_cast<wchar_t>(std::wcstoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c < 0x20 || c == 0x7F || c == L'%') {
      wchar_t code[4];
      (void)std::swprintf(code, 4, L"%02X", static_cast<unsigned>(c));
      out += L'%';
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring Hex(const std::vector<BYTE>& bytes) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring out;
  for (BYTE b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::vector<BYTE> FromHex(const std::wstring& hex) {
  std::vector<BYTE> bytes(hex.size() / 2);
  auto digit = [](wchar_t c) { return c <= L'9' ? c - L'0' : c - L'a' + 10; };
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<BYTE>(digit(hex[2 * i]) << 4 | digit(hex[2 * i + 1]));
  return bytes;
}

bool ReadWhole(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD size = GetFileSize(file, nullptr);
  bytes.resize(size);
  DWORD read = 0;
  bool ok = size == 0 || (ReadFile(file, &bytes[0], size, &read, nullptr) && read == size);
  CloseHandle(file);
  return ok;
}

// The lines of a log or replay file as unescaped fields, the first field kept apart.
std::vector<Fields> SplitLines(const std::string& bytes) {
  std::vector<Fields> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos)
      end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    Fields fields;
    size_t from = 0;
    for (;;) {
      size_t tab = line.find('\t', from);
      fields.push_back(Unescape(FromUtf8(line.substr(from, tab - from))));
      if (tab == std::string::npos)
        break;
      from = tab + 1;
    }
    lines.push_back(fields);
  }
  return lines;
}

// --- Registry ---------------------------------------------------------------------------------

struct RootName {
  const wchar_t* Name;
  HKEY Root;
  const wchar_t* Nsis;
};
const RootName kRoots[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, L"HKCR"},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER, L"HKCU"},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, L"HKLM"},
};

const RootName* FindRoot(const std::wstring& name) {
  for (const RootName& root : kRoots) {
    if (name == root.Name)
      return &root;
  }
  return nullptr;
}

struct TypeName {
  const wchar_t* Name;
  DWORD Type;
};
const TypeName kTypes[] = {
    {L"REG_SZ", REG_SZ},       {L"REG_EXPAND_SZ", REG_EXPAND_SZ}, {L"REG_MULTI_SZ", REG_MULTI_SZ},
    {L"REG_DWORD", REG_DWORD}, {L"REG_QWORD", REG_QWORD},         {L"REG_BINARY", REG_BINARY},
    {L"REG_NONE", REG_NONE},
};

// The bytes of a logged "TYPE:data": texts get their terminators back (one, two for a
// multi-string), numbers are decimal, anything else hexadecimal.
bool DataOf(const std::wstring& logged, DWORD& type, std::vector<BYTE>& bytes) {
  size_t colon = logged.find(L':');
  if (colon == std::wstring::npos)
    return false;
  std::wstring name = logged.substr(0, colon);
  std::wstring data = logged.substr(colon + 1);
  const TypeName* found = nullptr;
  for (const TypeName& t : kTypes) {
    if (name == t.Name)
      found = &t;
  }
  if (found == nullptr)
    return false;
  type = found->Type;
  bytes.clear();
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    data += L'\0';
    if (type == REG_MULTI_SZ)
      data += L'\0';
    const BYTE* p = reinterpret_cast<const BYTE*>(data.data());
    bytes.assign(p, p + data.size() * sizeof(wchar_t));
  } else if (type == REG_DWORD || type == REG_QWORD) {
    unsigned long long value = std::wcstoull(data.c_str(), nullptr, 10);
    for (int i = 0; i < (type == REG_DWORD ? 4 : 8); ++i)
      bytes.push_back(static_cast<BYTE>(value >> (8 * i)));
  } else {
    bytes = FromHex(data);
  }
  return true;
}

// The key that the last change used, kept open for the next one.
class KeyCache {
 public:
  ~KeyCache() { Close(); }
  HKEY Get(const std::wstring& root, const std::wstring& view, const std::wstring& path) {
    std::wstring id = root + L'\t' + view + L'\t' + path;
    if (key_ != nullptr && id == id_)
      return key_;
    Close();
    const RootName* r = FindRoot(root);
    REGSAM sam = KEY_ALL_ACCESS | (view == L"32" ? KEY_WOW64_32KEY : 0);
    if (r == nullptr || RegCreateKeyExW(r->Root, path.c_str(), 0, nullptr, 0, sam, nullptr, &key_,
                                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return nullptr;
    }
    id_ = id;
    return key_;
  }
  void Close() {
    if (key_ != nullptr)
      RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
  std::wstring id_;
};

// --- The timed replay -------------------------------------------------------------------------

bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool MakeLink(const Fields& f) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  (void)link->SetPath(f[2].c_str());
  if (!f[3].empty())
    (void)link->SetArguments(f[3].c_str());
  if (!f[4].empty())
    (void)link->SetWorkingDirectory(f[4].c_str());
  if (!f[5].empty())
    (void)link->SetDescription(f[5].c_str());
  (void)link->SetIconLocation(f[6].c_str(), std::wcstol(f[7].c_str(), nullptr, 10));
  int show = std::wcstol(f[8].c_str(), nullptr, 10);
  if (show != SW_SHOWNORMAL)
    (void)link->SetShowCmd(show);
  WORD hotkey = static_cast<WORD>(std::wcstoul(f[9].c_str(), nullptr, 10));
  if (hotkey != 0)
    (void)link->SetHotkey(hotkey);
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Save(f[1].c_str(), TRUE));
  if (file != nullptr)
    file->Release();
  link->Release();
  return ok;
}

int Replay(const std::wstring& replayPath) {
  std::string bytes;
  if (!ReadWhole(replayPath, bytes))
    return 2;
  std::vector<Fields> lines = SplitLines(bytes);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  KeyCache keys;
  int failures = 0;
  for (const Fields& f : lines) {
    const std::wstring& op = f[0];
    bool ok = true;
    if (op == L"key") {
      ok = keys.Get(f[1], f[2], f[3]) != nullptr;
    } else if (op == L"value") {
      HKEY key = keys.Get(f[1], f[2], f[3]);
      DWORD type = std::wcstoul(f[5].c_str(), nullptr, 10);
      std::vector<BYTE> data = FromHex(f[6]);
      ok = key != nullptr && RegSetValueExW(key, f[4].c_str(), 0, type, data.data(),
                                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    } else if (op == L"delvalue") {
      HKEY key = keys.Get(f[1], f[2], f[3]);
      ok = key != nullptr && RegDeleteValueW(key, f[4].c_str()) == ERROR_SUCCESS;
    } else if (op == L"delkey") {
      keys.Close();
      const RootName* root = FindRoot(f[1]);
      ok = root != nullptr &&
           RegDeleteKeyExW(root->Root, f[3].c_str(), f[2] == L"32" ? KEY_WOW64_32KEY : 0, 0) ==
               ERROR_SUCCESS;
    } else if (op == L"folder") {
      ok = CreateDirectoryW(f[1].c_str(), nullptr) != 0;
    } else if (op == L"delfolder") {
      ok = RemoveDirectoryW(f[1].c_str()) != 0;
    } else if (op == L"file") {
      ok = WriteBytes(f[1], FromHex(f[2]));
    } else if (op == L"delfile") {
      ok = DeleteFileW(f[1].c_str()) != 0;
    } else if (op == L"link") {
      ok = MakeLink(f);
    } else if (op == L"notify") {
      SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "failed: %s\n", ToUtf8(op + L" " + (f.size() > 1 ? f[1] : L"")).c_str());
      ++failures;
    }
  }
  keys.Close();
  if (SUCCEEDED(com))
    CoUninitialize();
  return failures == 0 ? 0 : 3;
}

// --- Preparation ------------------------------------------------------------------------------

class Output {
 public:
  void Line(std::initializer_list<std::wstring> fields) {
    bool first = true;
    for (const std::wstring& f : fields) {
      if (!first)
        text_ += L'\t';
      text_ += first ? f : Escape(f);
      first = false;
    }
    text_ += L"\r\n";
  }
  bool Save(const std::wstring& path) const {
    std::string bytes = ToUtf8(text_);
    return WriteBytes(path, std::vector<BYTE>(bytes.begin(), bytes.end()));
  }

 private:
  std::wstring text_;
};

// NSIS's quoted-string escapes: $ as $$, " as $\", control characters as $\r, $\n, $\t.
std::wstring NsisText(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c == L'$')
      out += L"$$";
    else if (c == L'"')
      out += L"$\\\"";
    else if (c == L'\r')
      out += L"$\\r";
    else if (c == L'\n')
      out += L"$\\n";
    else if (c == L'\t')
      out += L"$\\t";
    else
      out += c;
  }
  return out + L"\"";
}

std::wstring Field(const std::map<std::wstring, std::wstring>& fields, const wchar_t* name) {
  auto it = fields.find(name);
  return it == fields.end() ? std::wstring() : it->second;
}

struct LinkFields {
  std::wstring Target, Args, WorkDir, Description, Icon;
  int IconIndex = 0, Show = SW_SHOWNORMAL;
  WORD Hotkey = 0;
};

bool ReadLink(const std::wstring& path, LinkFields& out) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load(path.c_str(), STGM_READ));
  if (ok) {
    wchar_t text[4096];
    auto take = [&](std::wstring& dest) {
      text[ARRAYSIZE(text) - 1] = 0;
      dest = text;
    };
    text[0] = 0;
    (void)link->GetPath(text, ARRAYSIZE(text), nullptr, SLGP_RAWPATH);
    take(out.Target);
    text[0] = 0;
    (void)link->GetArguments(text, ARRAYSIZE(text));
    take(out.Args);
    text[0] = 0;
    (void)link->GetWorkingDirectory(text, ARRAYSIZE(text));
    take(out.WorkDir);
    text[0] = 0;
    (void)link->GetDescription(text, ARRAYSIZE(text));
    take(out.Description);
    text[0] = 0;
    (void)link->GetIconLocation(text, ARRAYSIZE(text), &out.IconIndex);
    take(out.Icon);
    (void)link->GetShowCmd(&out.Show);
    (void)link->GetHotkey(&out.Hotkey);
  }
  if (file != nullptr)
    file->Release();
  link->Release();
  return ok;
}

std::wstring Number(long long value) {
  wchar_t text[24];
  (void)std::swprintf(text, 24, L"%lld", value);
  return text;
}

int Prepare(const std::wstring& logPath, const std::wstring& replayPath,
            const std::wstring& scriptPath, const std::wstring& dataFolder) {
  std::string bytes;
  if (!ReadWhole(logPath, bytes)) {
    std::fprintf(stderr, "cannot read the log\n");
    return 2;
  }
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Output replay;
  std::wstring nsis =
      L"Unicode true\r\nTarget amd64-unicode\r\nName \"setup floor peer\"\r\nSilentInstall "
      L"silent\r\nRequestExecutionLevel admin\r\nCRCCheck off\r\nOutFile \"nsis_setup.exe\"\r\n"
      L"Section\r\n";
  // NSIS makes a key only by writing a value into it: a key the log creates and that never
  // gets a value or a subkey is made through the registry function itself.
  std::vector<Fields> lines = SplitLines(bytes);
  std::map<std::wstring, bool> keyFilled;  // "view\tfull key" of keys that get a value
  for (const Fields& line : lines) {
    if (line.size() < 2 || (line[1] != L"value-set" && line[1] != L"key-created"))
      continue;
    std::map<std::wstring, std::wstring> fields;
    for (size_t i = 2; i < line.size(); ++i) {
      size_t eq = line[i].find(L'=');
      fields[line[i].substr(0, eq)] = line[i].substr(eq + 1);
    }
    std::wstring view = Field(fields, L"note") == L"32-bit view" ? L"32" : L"64";
    std::wstring key = Field(fields, L"key");
    if (line[1] == L"value-set") {
      keyFilled[view + L'\t' + key] = true;
    }
    // A subkey fills its parents.
    for (size_t cut = key.rfind(L'\\'); cut != std::wstring::npos && cut > 0;
         cut = key.rfind(L'\\', cut - 1)) {
      if (line[1] == L"key-created")
        keyFilled[view + L'\t' + key.substr(0, cut)] = true;
    }
  }
  bool startedLog = false;
  bool notifiedShellExtensions = false;
  bool notifiedAssociations = false;
  int files = 0;
  std::wstring nsisView = L"64";
  nsis += L"  SetRegView 64\r\n";
  for (const Fields& line : lines) {
    if (line.size() < 2)
      continue;
    const std::wstring& event = line[1];
    if (event == L"start") {
      if (startedLog)
        break;  // the first run only
      startedLog = true;
      continue;
    }
    if (event == L"exit")
      break;
    std::map<std::wstring, std::wstring> fields;
    for (size_t i = 2; i < line.size(); ++i) {
      size_t eq = line[i].find(L'=');
      fields[line[i].substr(0, eq)] = line[i].substr(eq + 1);
    }
    if (event == L"association") {
      if (!notifiedShellExtensions) {
        replay.Line({L"notify"});
        nsis += L"  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'\r\n";
        notifiedShellExtensions = true;
      }
      continue;  // a report about the changes around it, no change of its own
    }
    if (event == L"notice" || event == L"skipped")
      continue;
    std::wstring view = Field(fields, L"note") == L"32-bit view" ? L"32" : L"64";
    std::wstring key = Field(fields, L"key");
    std::wstring rootName = key.substr(0, key.find(L'\\'));
    std::wstring path =
        key.find(L'\\') == std::wstring::npos ? L"" : key.substr(key.find(L'\\') + 1);
    const RootName* root = FindRoot(rootName);
    if (event.compare(0, 4, L"key-") == 0 || event.compare(0, 6, L"value-") == 0) {
      if (root == nullptr) {
        std::fprintf(stderr, "unknown root in %s\n", ToUtf8(key).c_str());
        return 3;
      }
      if (view != nsisView) {
        nsis += L"  SetRegView " + view + L"\r\n";
        nsisView = view;
      }
    }
    std::wstring nsisKey = root != nullptr ? std::wstring(root->Nsis) + L" " + NsisText(path) : L"";
    if (event == L"key-created") {
      replay.Line({L"key", rootName, view, path});
      if (!keyFilled[view + L'\t' + key]) {
        std::wstring hive = Number(reinterpret_cast<LONG_PTR>(root->Root));
        std::wstring sam = Number(KEY_WRITE | (view == L"32" ? KEY_WOW64_32KEY : 0));
        nsis += L"  System::Call 'advapi32::RegCreateKeyExW(p " + hive + L", w " + NsisText(path) +
                L", i 0, p 0, i 0, i " + sam +
                L", p 0, *p .r0, p 0) i .r1'\r\n  System::Call 'advapi32::RegCloseKey(p r0)'\r\n";
      }
    } else if (event == L"value-set") {
      DWORD type = 0;
      std::vector<BYTE> data;
      if (!DataOf(Field(fields, L"after"), type, data)) {
        std::fprintf(stderr, "unreadable data in %s\n", ToUtf8(key).c_str());
        return 3;
      }
      std::wstring name = Field(fields, L"value");
      replay.Line({L"value", rootName, view, path, name, Number(type), Hex(data)});
      std::wstring text = Field(fields, L"after").substr(Field(fields, L"after").find(L':') + 1);
      if (type == REG_SZ) {
        nsis +=
            L"  WriteRegStr " + nsisKey + L" " + NsisText(name) + L" " + NsisText(text) + L"\r\n";
      } else if (type == REG_EXPAND_SZ) {
        nsis += L"  WriteRegExpandStr " + nsisKey + L" " + NsisText(name) + L" " + NsisText(text) +
                L"\r\n";
      } else if (type == REG_DWORD) {
        nsis += L"  WriteRegDWORD " + nsisKey + L" " + NsisText(name) + L" " + text + L"\r\n";
      } else if (type == REG_BINARY) {
        nsis += L"  WriteRegBin " + nsisKey + L" " + NsisText(name) + L" " + Hex(data) + L"\r\n";
      } else {
        std::fprintf(stderr, "the peer script has no instruction for type %lu\n", type);
        return 3;
      }
    } else if (event == L"value-deleted") {
      std::wstring name = Field(fields, L"value");
      replay.Line({L"delvalue", rootName, view, path, name});
      nsis += L"  DeleteRegValue " + nsisKey + L" " + NsisText(name) + L"\r\n";
    } else if (event == L"key-deleted") {
      replay.Line({L"delkey", rootName, view, path});
      nsis += L"  DeleteRegKey /ifempty " + nsisKey + L"\r\n";
    } else if (event == L"folder-created") {
      replay.Line({L"folder", Field(fields, L"path")});
      nsis += L"  CreateDirectory " + NsisText(Field(fields, L"path")) + L"\r\n";
    } else if (event == L"folder-deleted") {
      replay.Line({L"delfolder", Field(fields, L"path")});
      nsis += L"  RMDir " + NsisText(Field(fields, L"path")) + L"\r\n";
    } else if (event == L"file-deleted") {
      replay.Line({L"delfile", Field(fields, L"path")});
      nsis += L"  Delete " + NsisText(Field(fields, L"path")) + L"\r\n";
    } else if (event == L"file-created" && fields.count(L"target") != 0) {
      if (!notifiedAssociations) {
        replay.Line({L"notify"});
        nsis += L"  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'\r\n";
        notifiedAssociations = true;
      }
      LinkFields link;
      std::wstring linkPath = Field(fields, L"path");
      if (!ReadLink(linkPath, link)) {
        std::fprintf(stderr, "cannot read the shortcut %s\n", ToUtf8(linkPath).c_str());
        return 3;
      }
      replay.Line({L"link", linkPath, link.Target, link.Args, link.WorkDir, link.Description,
                   link.Icon, Number(link.IconIndex), Number(link.Show), Number(link.Hotkey)});
      // CreateShortCut takes the working folder from $OUTDIR.
      if (link.WorkDir.empty())
        nsis += L"  StrCpy $OUTDIR \"\"\r\n";
      else
        nsis += L"  StrCpy $OUTDIR " + NsisText(link.WorkDir) + L"\r\n";
      nsis += L"  CreateShortCut " + NsisText(linkPath) + L" " + NsisText(link.Target) + L" " +
              NsisText(link.Args) + L" " + NsisText(link.Icon) + L" " + Number(link.IconIndex) +
              L" SW_SHOWNORMAL \"\" " + NsisText(link.Description) + L"\r\n";
    } else if (event == L"file-created") {
      std::wstring filePath = Field(fields, L"path");
      std::string content;
      if (!ReadWhole(filePath, content)) {
        std::fprintf(stderr, "cannot read the file %s\n", ToUtf8(filePath).c_str());
        return 3;
      }
      std::vector<BYTE> data(content.begin(), content.end());
      replay.Line({L"file", filePath, Hex(data)});
      // makensis reads the bytes from beside the script, where it runs.
      std::wstring source = L"file" + Number(++files) + L".bin";
      if (!WriteBytes(dataFolder + L"\\" + source, data))
        return 3;
      nsis += L"  File " + NsisText(L"/oname=" + filePath) + L" " + NsisText(source) + L"\r\n";
    } else {
      std::fprintf(stderr, "the floor cannot replay \"%s\"\n", ToUtf8(event).c_str());
      return 3;
    }
  }
  nsis += L"SectionEnd\r\n";
  if (SUCCEEDED(com))
    CoUninitialize();
  std::string nsisBytes = ToUtf8(nsis);
  if (!replay.Save(replayPath) ||
      !WriteBytes(scriptPath, std::vector<BYTE>(nsisBytes.begin(), nsisBytes.end()))) {
    return 2;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 6 && std::wstring(argv[1]) == L"prepare")
    return Prepare(argv[2], argv[3], argv[4], argv[5]);
  if (argc == 2)
    return Replay(argv[1]);
  std::fprintf(stderr,
               "usage: setup_floor_bench prepare <log> <replay> <nsis script> <data folder>\n"
               "       setup_floor_bench <replay>\n");
  return 1;
}
