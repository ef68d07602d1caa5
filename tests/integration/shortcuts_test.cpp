#include "integration/shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/win_handles.h"
#include "integration/link_reader.h"
#include "integration/scratch_install.h"
#include "lang/language_file.h"
#include "lang/messages.h"
#include "resources/resource.h"

namespace {

IntegrationOptions Links(bool desktop, bool startMenu, bool programs) {
  IntegrationOptions options = {};
  options.Desktop = desktop ? 1 : 0;
  options.StartMenu = startMenu ? 1 : 0;
  options.Programs = programs ? 1 : 0;
  return options;
}

std::wstring Text(int id) {
  return MessageText(id);
}

// Gives an existing shortcut a hot key and arguments, as a user would in its properties.
void SetHotKeyAndArguments(const std::wstring& link, WORD hotKey, const wchar_t* arguments) {
  ComPtr<IShellLinkW> shellLink;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkW, shellLink.put_void())));
  ComPtr<IPersistFile> file;
  ASSERT_TRUE(SUCCEEDED(shellLink.As(file)));
  ASSERT_TRUE(SUCCEEDED(file->Load(link.c_str(), STGM_READWRITE)));
  shellLink->SetHotkey(hotKey);
  shellLink->SetArguments(arguments);
  ASSERT_TRUE(SUCCEEDED(file->Save(link.c_str(), TRUE)));
}

// Makes link a host symbolic link to the folder target, which Wine shows as a directory
// reparse point (links cannot be made from inside Wine). True once the link is seen.
bool MakeHostFolderLink(const std::wstring& target, const std::wstring& link) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr)
    return false;
  char* from = unixName(target.c_str());
  char* to = unixName(link.c_str());
  // Wine splits a host program's command line by the Windows rules: double quotes group.
  std::string command;
  if (from != nullptr && to != nullptr)
    command = std::string("/bin/ln -s \"") + from + "\" \"" + to + "\"";
  (void)HeapFree(GetProcessHeap(), 0, from);
  (void)HeapFree(GetProcessHeap(), 0, to);
  if (command.empty())
    return false;
  std::wstring wide(command.begin(), command.end());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\ln", &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  UniqueHandle thread(process.hThread);
  UniqueHandle child(process.hProcess);
  // A host program's handle does not report its end: wait for the link itself.
  for (int i = 0; i < 400; ++i) {
    DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return true;
    Sleep(25);
  }
  return false;
}

class ShortcutsTest : public testing::Test {
 protected:
  std::wstring UserDesktopLink() const {
    return install_.Folder(CSIDL_DESKTOPDIRECTORY) + L"\\Vellox.lnk";
  }
  std::wstring PublicDesktopLink() const {
    return install_.Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Vellox.lnk";
  }
  std::wstring UserGroup() const { return install_.Folder(CSIDL_PROGRAMS) + L"\\Vellox"; }
  std::wstring CommonGroup() const { return install_.Folder(CSIDL_COMMON_PROGRAMS) + L"\\Vellox"; }
  // The four item shortcuts of a group, in table order.
  std::vector<std::wstring> GroupLinks(const std::wstring& group) const {
    return {group + L"\\Vellox.lnk", group + L"\\" + Text(IDS_VELLOXHELP) + L".lnk",
            group + L"\\" + Text(IDS_VLXHELP) + L".lnk",
            group + L"\\" + Text(IDS_WHATSNEW) + L".lnk"};
  }

  ScratchInstall install_;
};

TEST_F(ShortcutsTest, GetKnownFolderAnswersUnknownFolderWhenItCannotTell) {
  wchar_t small[100];
  EXPECT_FALSE(GetKnownFolder(small, 100, CSIDL_DESKTOPDIRECTORY));
  EXPECT_STREQ(L"unknown_folder", small);

  wchar_t buffer[MAX_PATH];
  SetSpecialFolderForTesting(CSIDL_PROGRAMS, L"");  // a folder the shell cannot find
  EXPECT_FALSE(GetKnownFolder(buffer, MAX_PATH, CSIDL_PROGRAMS));
  EXPECT_STREQ(L"unknown_folder", buffer);

  EXPECT_TRUE(GetKnownFolder(buffer, MAX_PATH, CSIDL_COMMON_PROGRAMS));
  EXPECT_EQ(install_.Folder(CSIDL_COMMON_PROGRAMS), buffer);

  // Without an override the shell answers.
  ClearSpecialFoldersForTesting();
  ASSERT_TRUE(GetKnownFolder(buffer, MAX_PATH, CSIDL_DESKTOPDIRECTORY));
  wchar_t expected[MAX_PATH];
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, expected)));
  EXPECT_STREQ(expected, buffer);
}

TEST_F(ShortcutsTest, CreatesEveryShortcutWithItsFieldsReadableByAnotherProcess) {
  wchar_t group[2048] = L"";
  UpdateShortcuts(Links(true, true, true), group, 2048, nullptr);

  const std::wstring archiver = install_.ProgramFile(L"Vellox.exe");
  const std::wstring desktop = install_.Folder(CSIDL_DESKTOPDIRECTORY);
  const std::wstring description = Text(IDS_VELLOXDESC);

  // No shortcut on the user's own desktop yet, so the all-users desktop gets it.
  EXPECT_FALSE(PathExists(UserDesktopLink()));
  auto fields = ReadLinkInOtherProcess(PublicDesktopLink());
  EXPECT_EQ(archiver, fields["path"]);
  EXPECT_EQ(description, fields["description"]);
  EXPECT_EQ(L"", fields["workdir"]);
  EXPECT_EQ(L"", fields["icon"]);
  EXPECT_EQ(L"", fields["arguments"]);

  // Windows 6.1: the all-users Start menu, working in the user's desktop folder.
  fields = ReadLinkInOtherProcess(install_.Folder(CSIDL_COMMON_STARTMENU) + L"\\Vellox.lnk");
  EXPECT_EQ(archiver, fields["path"]);
  EXPECT_EQ(desktop, fields["workdir"]);
  EXPECT_FALSE(PathExists(install_.Folder(CSIDL_STARTMENU) + L"\\Vellox.lnk"));

  const wchar_t* targets[] = {L"Vellox.exe", L"Vellox.chm", L"Vlx.txt", L"WhatsNew.txt"};
  for (const std::wstring& folder : {UserGroup(), CommonGroup()}) {
    auto links = GroupLinks(folder);
    for (size_t i = 0; i < links.size(); ++i) {
      fields = ReadLinkInOtherProcess(links[i]);
      EXPECT_EQ(install_.ProgramFile(targets[i]), fields["path"]) << i;
      EXPECT_EQ(description, fields["description"]) << i;
      EXPECT_EQ(desktop, fields["workdir"]) << i;
      EXPECT_EQ(L"", fields["icon"]) << i;
    }
  }
  // The output names the all-users group.
  EXPECT_EQ(CommonGroup(), group);
}

// COM is the shortcuts' own business: a thread without it gets them all the same and is left
// without it.
TEST_F(ShortcutsTest, AThreadWithoutComGetsItsShortcutsAndStaysWithoutCom) {
  std::thread([] {
    UpdateShortcuts(Links(true, false, false), nullptr, 0, nullptr);
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    EXPECT_NE(CoGetApartmentType(&type, &qualifier), S_OK);
  }).join();
  EXPECT_TRUE(PathExists(PublicDesktopLink()));
}

TEST_F(ShortcutsTest, ThemeIconGoesOnlyToTheArchiverShortcuts) {
  const std::wstring icon = install_.ProgramFile(L"theme.ico");
  UpdateShortcuts(Links(true, true, true), nullptr, 0, icon.c_str());
  EXPECT_EQ(icon, ReadLinkInOtherProcess(PublicDesktopLink())["icon"]);
  EXPECT_EQ(icon, ReadLinkInOtherProcess(install_.Folder(CSIDL_COMMON_STARTMENU) +
                                         L"\\Vellox.lnk")["icon"]);
  auto links = GroupLinks(CommonGroup());
  EXPECT_EQ(icon, ReadLinkInOtherProcess(links[0])["icon"]);
  EXPECT_EQ(L"", ReadLinkInOtherProcess(links[1])["icon"]);
  EXPECT_EQ(L"", ReadLinkInOtherProcess(links[3])["icon"]);
}

TEST_F(ShortcutsTest, UserDesktopShortcutIsUpdatedAndKeepsHotKeyAndArguments) {
  ASSERT_TRUE(
      CreateShellLink(L"C:\\old\\Vellox.exe", UserDesktopLink().c_str(), nullptr, L"old", nullptr));
  SetHotKeyAndArguments(UserDesktopLink(), MAKEWORD('V', HOTKEYF_CONTROL | HOTKEYF_ALT), L"-user");

  UpdateShortcuts(Links(true, false, false), nullptr, 0, nullptr);
  EXPECT_FALSE(PathExists(PublicDesktopLink()));
  auto fields = ReadLinkInOtherProcess(UserDesktopLink());
  EXPECT_EQ(install_.ProgramFile(L"Vellox.exe"), fields["path"]);
  EXPECT_EQ(Text(IDS_VELLOXDESC), fields["description"]);
  EXPECT_EQ(L"0x0656", fields["hotkey"]);
  EXPECT_EQ(L"-user", fields["arguments"]);
}

TEST_F(ShortcutsTest, DesktopOffDeletesOnlyOneShortcut) {
  ASSERT_TRUE(CreateShellLink(L"C:\\x.exe", UserDesktopLink().c_str(), nullptr, nullptr, nullptr));
  ASSERT_TRUE(
      CreateShellLink(L"C:\\x.exe", PublicDesktopLink().c_str(), nullptr, nullptr, nullptr));
  UpdateShortcuts(Links(false, false, false), nullptr, 0, nullptr);
  EXPECT_FALSE(PathExists(UserDesktopLink()));
  EXPECT_TRUE(PathExists(PublicDesktopLink()));
  UpdateShortcuts(Links(false, false, false), nullptr, 0, nullptr);
  EXPECT_FALSE(PathExists(PublicDesktopLink()));
}

TEST_F(ShortcutsTest, BeforeWindows6TheUserStartMenuIsUsed) {
  ScratchInstall::SetWindowsVersion(5, 1, 2600);
  UpdateShortcuts(Links(false, true, false), nullptr, 0, nullptr);
  EXPECT_TRUE(PathExists(install_.Folder(CSIDL_STARTMENU) + L"\\Vellox.lnk"));
  EXPECT_FALSE(PathExists(install_.Folder(CSIDL_COMMON_STARTMENU) + L"\\Vellox.lnk"));
  // Without the user's desktop nothing at all is done there.
  SetSpecialFolderForTesting(CSIDL_DESKTOPDIRECTORY, L"");
  UpdateShortcuts(Links(false, false, false), nullptr, 0, nullptr);
  EXPECT_TRUE(PathExists(install_.Folder(CSIDL_STARTMENU) + L"\\Vellox.lnk"));
}

TEST_F(ShortcutsTest, RebuildingAGroupDropsItemsWhoseTargetsWentAway) {
  UpdateShortcuts(Links(false, false, true), nullptr, 0, nullptr);
  auto links = GroupLinks(UserGroup());
  ASSERT_TRUE(PathExists(links[2]));
  CreateDirectoryW((UserGroup() + L"\\Sub").c_str(), nullptr);
  install_.RemoveProgramFile(L"Vlx.txt");
  UpdateShortcuts(Links(false, false, true), nullptr, 0, nullptr);
  EXPECT_FALSE(PathExists(links[2]));
  EXPECT_TRUE(PathExists(links[0]));
  EXPECT_TRUE(PathExists(links[1]));
  EXPECT_TRUE(PathExists(links[3]));
  EXPECT_TRUE(PathExists(UserGroup() + L"\\Sub"));  // only files are emptied out
}

TEST_F(ShortcutsTest, GroupOutputFallsBackToTheUserGroup) {
  SetSpecialFolderForTesting(CSIDL_COMMON_PROGRAMS, L"");
  wchar_t group[2048] = L"";
  UpdateShortcuts(Links(false, false, true), group, 2048, nullptr);
  EXPECT_EQ(UserGroup(), group);
  EXPECT_TRUE(PathExists(GroupLinks(UserGroup())[0]));

  // An all-users group that cannot be made leaves the user group in the output.
  SetSpecialFolderForTesting(CSIDL_COMMON_PROGRAMS,
                             install_.ProgramFile(L"Vellox.exe\\nowhere").c_str());
  UpdateShortcuts(Links(false, false, true), group, 2048, nullptr);
  EXPECT_EQ(UserGroup(), group);
}

TEST_F(ShortcutsTest, UnknownFoldersAreSkipped) {
  for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS,
                    CSIDL_COMMON_PROGRAMS}) {
    SetSpecialFolderForTesting(csidl, L"");
  }
  ScratchFolder current;
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(current.Path().c_str());
  CreateDirectoryW(L"unknown_folder", nullptr);
  UpdateShortcuts(Links(true, true, true), nullptr, 0, nullptr);
  SetCurrentDirectoryW(saved);
  // Nothing was made relative to the current folder.
  EXPECT_FALSE(PathExists(current.Join(L"unknown_folder\\Vellox.lnk")));
  EXPECT_FALSE(PathExists(current.Join(L"unknown_folder\\Vellox")));
}

TEST_F(ShortcutsTest, ZeroRecordRemovesEverything) {
  const auto before = install_.FolderSnapshot();
  UpdateShortcuts(Links(true, true, true), nullptr, 0, nullptr);
  ASSERT_NE(before, install_.FolderSnapshot());
  UpdateShortcuts(Links(false, false, false), nullptr, 0, nullptr);
  EXPECT_EQ(before, install_.FolderSnapshot());
}

// A translation cannot move a shortcut out of its group nor point one at another file: titles
// and target names from the message tables stay plain names.
TEST_F(ShortcutsTest, TranslatedNamesWithPathSeparatorsStayInsideTheGroup) {
  const std::wstring lng =
      L"***messages***\r\n:STRINGS\r\n"
      L"IDS_VELLOXHELP \"..\\\\Hilfe\"\r\n"
      L"IDS_WHATSNEWNAME \"..\\\\Vellox\\\\license.txt\"\r\n";
  ParseLanguageFileText(lng.c_str(), lng.size());
  ASSERT_EQ(Text(IDS_WHATSNEWNAME), L"..\\Vellox\\license.txt");
  UpdateShortcuts(Links(false, false, true), nullptr, 0, nullptr);
  ClearLanguageFile();

  int links = 0;
  for (const std::wstring& line : install_.FolderSnapshot()) {
    bool inGroup = false;
    for (const std::wstring group : {L"UserPrograms\\Vellox\\", L"CommonPrograms\\Vellox\\"}) {
      if (line == group)
        inGroup = true;
      else if (line.compare(0, group.size(), group) == 0 &&
               line.find(L'\\', group.size()) == std::wstring::npos) {
        inGroup = true;
        ++links;
      }
    }
    EXPECT_TRUE(inGroup) << "outside a group: " << std::string(line.begin(), line.end());
  }
  // The archiver, the help file and the manual in each group; no target named "..\...".
  EXPECT_EQ(links, 6);
}

TEST_F(ShortcutsTest, GroupFolderThatIsALinkIsNotEmptied) {
  ScratchFolder elsewhere;
  const std::wstring kept = elsewhere.WriteFile(L"keep.txt", "not ours");
  ASSERT_TRUE(MakeHostFolderLink(elsewhere.Path(), UserGroup()));
  UpdateShortcuts(Links(false, false, true), nullptr, 0, nullptr);
  EXPECT_TRUE(PathExists(kept));
  // Deselecting the group does not reach through the link either.
  UpdateShortcuts(Links(false, false, false), nullptr, 0, nullptr);
  EXPECT_TRUE(PathExists(kept));
}

}  // namespace
