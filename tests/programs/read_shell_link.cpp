// Test helper: loads a shortcut file through the shell link object and prints its fields, one
// "name=value" line each, in UTF-8, to stdout or to a file.
//   read_shell_link.exe <shortcut.lnk> [<output file>]
// Exit code 0 when the shortcut was loaded, 1 on bad arguments, 2 when it could not be loaded.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1)
    return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

int Dump(const wchar_t* linkPath, std::string& out) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return 2;
  }
  IPersistFile* file = nullptr;
  int result = 2;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(linkPath, STGM_READ))) {
    wchar_t text[4096];
    char line[64];
    text[0] = 0;
    link->GetPath(text, 4096, nullptr, SLGP_RAWPATH);
    out += "path=" + Utf8(text) + "\n";
    text[0] = 0;
    link->GetDescription(text, 4096);
    out += "description=" + Utf8(text) + "\n";
    text[0] = 0;
    link->GetWorkingDirectory(text, 4096);
    out += "workdir=" + Utf8(text) + "\n";
    text[0] = 0;
    link->GetArguments(text, 4096);
    out += "arguments=" + Utf8(text) + "\n";
    text[0] = 0;
    int iconIndex = 0;
    link->GetIconLocation(text, 4096, &iconIndex);
    out += "icon=" + Utf8(text) + "\n";
    snprintf(line, sizeof(line), "iconindex=%d\n", iconIndex);
    out += line;
    WORD hotKey = 0;
    link->GetHotkey(&hotKey);
    snprintf(line, sizeof(line), "hotkey=0x%04x\n", hotKey);
    out += line;
    int show = 0;
    link->GetShowCmd(&show);
    snprintf(line, sizeof(line), "showcmd=%d\n", show);
    out += line;
    result = 0;
  }
  if (file != nullptr)
    file->Release();
  link->Release();
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2)
    return 1;
  CoInitialize(nullptr);
  std::string out;
  int result = Dump(argv[1], out);
  CoUninitialize();
  if (argc >= 3) {
    FILE* f = _wfopen(argv[2], L"wb");
    if (f == nullptr)
      return 1;
    fwrite(out.data(), 1, out.size(), f);
    fclose(f);
  } else {
    fwrite(out.data(), 1, out.size(), stdout);
  }
  return result;
}
