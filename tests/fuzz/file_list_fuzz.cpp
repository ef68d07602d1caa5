// Fuzzing Uninstall.lst and the list walk: each input is written as the list of a small scratch
// installation, read with the real list reader and walked with the real walk until a walk
// removes nothing, exactly as Uninstall mode does. Around the installation lie canaries: files
// one level up (among them files named like the list and the program), a canary folder beside
// it and the current folder of the process; a link inside the installation (made by the script
// from the host, where it can be made) points at the canary folder. Properties checked:
//  - no canary is deleted, renamed or emptied, whatever the list says;
//  - every path the reader keeps lies in the installation folder;
//  - every file of the installation that the list names exactly (other than the ones held open
//    and the list itself) is gone after the walks, and so is every listed folder whose whole
//    content was listed too;
//  - whatever was scheduled for deletion at restart lies in the installation folder;
//  - the walks end (at most one more walk than entries).
#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/list_walk.h"
#include "common/win_handles.h"
#include "fuzz/fuzz_files.h"
#include "fuzz/fuzz_harness.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/mutator.h"

namespace {

// The installation, relative to its folder. Folders are listed before what they hold.
const wchar_t* const kTreeFolders[] = {L"Languages", L"Languages\\German", L"Languages\\Hebrew",
                                       L"sub",       L"sub\\deep",         L"Folder With Space"};
const wchar_t* const kTreeFiles[] = {L"Vellox.exe",
                                     L"vlxext.dll",
                                     L"license.txt",
                                     L"Vlx.txt",
                                     L"readonly.dat",
                                     L"Vellox.ini",
                                     L"Languages\\German\\uninstall.lng",
                                     L"Languages\\Hebrew\\uninstall.lng",
                                     L"sub\\a.txt",
                                     L"sub\\deep\\b.txt",
                                     L"Folder With Space\\c d.txt"};
// Held open without delete sharing for the whole run: the running program and a file in use.
const wchar_t* const kHeldFiles[] = {L"uninstall.exe", L"inuse.dll"};
constexpr wchar_t kListName[] = L"Uninstall.lst";
constexpr wchar_t kLinkName[] = L"link";  // made by the script; may be missing

// Canaries, relative to the folder that holds the installation.
const wchar_t* const kCanaryFolders[] = {L"VelloxCanary", L"VelloxCanary\\sub", L"Vellox.old"};
const wchar_t* const kCanaryFiles[] = {L"canary.txt",
                                       L"Uninstall.lst",
                                       L"uninstall.exe",
                                       L"Vellox.txt",
                                       L"VelloxCanary\\keep.txt",
                                       L"VelloxCanary\\sub\\keep.txt",
                                       L"Vellox.old\\license.txt"};
constexpr char kCanaryContent[] = "canary: must survive every uninstall list";

// Unit by unit, ignoring case only: a linguistic comparison would take "sub\u00ADa.txt" (with a
// soft hyphen) for "suba.txt", where the file system sees two names.
bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && SamePath(text.substr(0, prefix.size()), prefix);
}

class FileListFuzz : public FuzzTarget {
 public:
  const char* Name() const override { return "lst"; }
  uint32_t Number() const override { return 4; }

  bool Prepare(const FuzzOptions& options, std::string& error) override {
    root_ = options.Scratch + L"\\lst";
    folder_ = root_ + L"\\Vellox\\";
    cwd_ = options.Scratch + L"\\cwd";
    if (!MakeFolders(folder_.substr(0, folder_.size() - 1)) || !MakeFolders(cwd_) ||
        !WriteWholeFile(cwd_ + L"\\cwd.txt", kCanaryContent) ||
        !SetCurrentDirectoryW(cwd_.c_str())) {
      error = "cannot make the scratch installation";
      return false;
    }
    for (const wchar_t* f : kCanaryFolders)
      (void)MakeFolders(root_ + L"\\" + f);  // checked with the files below
    for (const wchar_t* f : kCanaryFiles) {
      if (!WriteWholeFile(root_ + L"\\" + f, kCanaryContent)) {
        error = "cannot make the canaries";
        return false;
      }
    }
    for (const wchar_t* f : kHeldFiles) {
      std::wstring path = folder_ + f;
      if (!PathExists(path))
        (void)WriteWholeFile(path, "held");
      held_.emplace_back(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!held_.back()) {
        error = "cannot hold the files in use";
        return false;
      }
    }
    linkAtStart_ = IsLink(folder_ + kLinkName);
    std::string sample;
    if (!ReadWholeFile(options.Samples + L"\\installation\\Uninstall.lst", sample)) {
      error = "cannot read the sample list";
      return false;
    }
    seeds_.push_back(BytesToUnits(sample));
    for (int i = 0; i < 4; ++i) {
      FuzzRandom random(0x1157 + static_cast<uint64_t>(i));
      seeds_.push_back(BytesToUnits(GenerateList(random)));
    }
    for (const std::string& t : CommonTokens())
      dictionary_.push_back(BytesToUnits(t));
    for (const std::string& t : AttackTokens())
      dictionary_.push_back(BytesToUnits(t));
    return true;
  }

  void RunOne(uint64_t, FuzzRandom& random) override {
    if (!RestoreInstallation()) {
      Fail("cannot restore the scratch installation");
      return;
    }
    std::string bytes;
    if (random.OneIn(6)) {
      bytes = GenerateList(random);
    } else {
      Units units = random.OneIn(2) ? seeds_[random.Below(seeds_.size())]
                                    : BytesToUnits(GenerateList(random));
      MutationSettings settings{0xFF, kMaxBytes, 3000, &dictionary_, &seeds_};
      Mutate(units, random, settings, MutationRounds(random));
      bytes = UnitsToBytes(units);
    }
    if (!WriteWholeFile(folder_ + kListName, bytes)) {
      Fail("cannot write the list");
      return;
    }
    bool linkBefore = IsLink(folder_ + kLinkName);
    if (linkBefore)
      ++inputsWithLink_;

    UniqueStdioFile stream(_wfopen((folder_ + kListName).c_str(), L"rb"));
    if (!stream) {
      Fail("cannot open the list");
      return;
    }
    UninstallList list;
    list.Load(stream.get(), folder_.c_str());
    std::vector<std::wstring> paths;
    for (size_t i = 0; i < list.Count(); ++i) {
      paths.emplace_back(list.Path(i));
      if (paths.back().compare(0, folder_.size(), folder_) != 0)
        Fail("the reader kept a path outside the folder: %s", Printable(paths.back()).c_str());
    }
    std::wstring program = folder_ + L"uninstall.exe";
    ListWalkState state = {folder_.c_str(), program.c_str(), false};
    size_t walks = WalkListUntilDone(list, state);
    stream.reset();
    totalEntries_ += list.Count();
    if (walks > list.Count() + 1)
      Fail("%u walks for %u entries", static_cast<unsigned>(walks),
           static_cast<unsigned>(list.Count()));

    CheckCanaries();
    CheckListedAreGone(paths);
    if (state.RebootPending)
      CheckPendingRenames();
    if (linkBefore && !IsLink(folder_ + kLinkName))
      ++linkRemovals_;
  }

  void Finish() override {
    std::printf(
        "lst: %llu entries walked; link inside the installation present in %llu inputs "
        "(present at start: %s), removed as a link by %llu\n",
        static_cast<unsigned long long>(totalEntries_),
        static_cast<unsigned long long>(inputsWithLink_), linkAtStart_ ? "yes" : "no",
        static_cast<unsigned long long>(linkRemovals_));
    held_.clear();
  }

 private:
  static constexpr size_t kMaxBytes = 1 << 16;

  static bool IsLink(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }

  // Lines that try to leave the folder in every way a path can.
  std::vector<std::string> AttackTokens() const {
    std::string rootNarrow = ToAnsi(root_);
    std::vector<std::string> tokens = {"..\\canary.txt",
                                       "..\\Uninstall.lst",
                                       "..\\uninstall.exe",
                                       "..\\VelloxCanary\\keep.txt",
                                       "..\\VelloxCanary",
                                       "..\\Vellox.old",
                                       "sub\\..\\..\\canary.txt",
                                       "link\\keep.txt",
                                       "link\\sub\\keep.txt",
                                       "link\\sub",
                                       "link",
                                       "link\\",
                                       ".\\..\\canary.txt",
                                       "sub/../../canary.txt",
                                       "..\\.\\canary.txt",
                                       ".. \\canary.txt",
                                       "...\\canary.txt",
                                       "Z:..\\canary.txt",
                                       "C:canary.txt",
                                       "\\canary.txt",
                                       "Vellox.txt::$DATA",
                                       "a.txt:x",
                                       "LANGUA~1\\German",
                                       "VELLOX~1",
                                       "*.txt",
                                       "sub\\*",
                                       "?",
                                       "CON",
                                       "NUL.txt",
                                       rootNarrow + "\\canary.txt",
                                       "\\\\?\\" + rootNarrow + "\\canary.txt",
                                       "\\\\.\\" + rootNarrow + "\\canary.txt",
                                       rootNarrow + "\\VelloxCanary",
                                       "\\\\?\\UNC\\localhost\\c$\\x",
                                       "\\??\\" + rootNarrow + "\\canary.txt"};
    for (const wchar_t* f : kTreeFolders)
      tokens.push_back(ToAnsi(f));
    for (const wchar_t* f : kTreeFiles)
      tokens.push_back(ToAnsi(f));
    return tokens;
  }

  std::string GenerateList(FuzzRandom& random) const {
    static std::vector<std::string> attacks;
    if (attacks.empty())
      attacks = AttackTokens();
    std::vector<std::string> lines;
    for (const wchar_t* f : kTreeFolders) {
      if (!random.OneIn(4))
        lines.push_back(ToAnsi(f));
    }
    for (const wchar_t* f : kTreeFiles) {
      if (!random.OneIn(4))
        lines.push_back(ToAnsi(f));
    }
    for (const wchar_t* f : kHeldFiles)
      lines.push_back(ToAnsi(f));
    lines.push_back("Uninstall.lst");
    for (size_t i = random.Below(6); i > 0; --i)
      lines.push_back(attacks[random.Below(attacks.size())]);
    // Any order: folders before their files as often as after.
    for (size_t i = lines.size(); i > 1; --i)
      std::swap(lines[i - 1], lines[random.Below(i)]);
    std::string out;
    static const char* const kEnds[] = {"\r\n", "\r\n", "\n", " \t\r\n", "\r\r\n", "\n\n"};
    for (const std::string& line : lines)
      out += line + random.Pick(kEnds);
    return out;
  }

  // Looks at what the installation holds: deletes what is not part of it (names a walk made,
  // such as renamed files) and notes what is there, with attributes. Never reaches through a
  // link.
  void Survey(const std::wstring& folder, const std::set<std::wstring>& keep,
              std::map<std::wstring, DWORD>& present) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find)
      return;
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring path = folder + L"\\" + name;
      std::wstring relative = path.substr(folder_.size());
      bool kept = keep.count(relative) != 0;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        continue;  // the link: only the script makes or removes it
      if (kept)
        present[relative] = found.dwFileAttributes;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        static const std::set<std::wstring> kNothing;
        Survey(path, kept ? keep : kNothing, present);
        if (!kept)
          (void)RemoveDirectoryW(path.c_str());  // emptied above; a leftover shows next time
      } else if (!kept) {
        (void)SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        (void)DeleteFileW(path.c_str());  // a leftover shows next time
      }
    } while (FindNextFileW(find.get(), &found));
  }

  // Puts the installation back as it was before the first input (names as created, so the
  // survey can compare them exactly).
  bool RestoreInstallation() {
    static std::set<std::wstring> keep;
    if (keep.empty()) {
      keep.insert(kListName);
      for (const wchar_t* f : kTreeFolders)
        keep.insert(f);
      for (const wchar_t* f : kTreeFiles)
        keep.insert(f);
      for (const wchar_t* f : kHeldFiles)
        keep.insert(f);
    }
    std::map<std::wstring, DWORD> present;
    Survey(folder_.substr(0, folder_.size() - 1), keep, present);
    for (const wchar_t* f : kTreeFolders) {
      if (present.count(f) == 0 && !CreateDirectoryW((folder_ + f).c_str(), nullptr))
        return false;
    }
    for (const wchar_t* f : kTreeFiles) {
      if (present.count(f) == 0 && !WriteWholeFile(folder_ + f, "installed"))
        return false;
    }
    constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    auto readOnly = present.find(L"readonly.dat");
    if (readOnly != present.end() && (readOnly->second & kReadOnly) == kReadOnly)
      return true;
    return SetFileAttributesW((folder_ + L"readonly.dat").c_str(), kReadOnly) != FALSE;
  }

  // A canary is intact when it is still there with its size (one call each: the walk never
  // writes into files, it only deletes and renames them).
  static bool CanaryIntact(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           data.nFileSizeHigh == 0 && data.nFileSizeLow == sizeof(kCanaryContent) - 1;
  }

  void CheckCanaries() {
    for (const wchar_t* f : kCanaryFiles) {
      std::wstring path = root_ + L"\\" + f;
      if (!CanaryIntact(path)) {
        Fail("canary outside the installation deleted or changed: %s", Printable(f).c_str());
        (void)MakeFolders(path.substr(0, path.rfind(L'\\')));
        (void)WriteWholeFile(path, kCanaryContent);  // so that later inputs are checked too
      }
    }
    if (!CanaryIntact(cwd_ + L"\\cwd.txt")) {
      Fail("canary in the current folder deleted or changed");
      (void)WriteWholeFile(cwd_ + L"\\cwd.txt", kCanaryContent);
    }
  }

  void CheckListedAreGone(const std::vector<std::wstring>& paths) {
    auto listed = [&](const std::wstring& relative) {
      std::wstring full = folder_ + relative;
      for (const std::wstring& p : paths) {
        if (SamePath(p, full))
          return true;
      }
      return false;
    };
    for (const wchar_t* f : kTreeFiles) {
      if (listed(f) && PathExists(folder_ + f))
        Fail("listed file %s is still there", Printable(f).c_str());
    }
    for (const wchar_t* f : kTreeFolders) {
      std::wstring prefix = std::wstring(f) + L"\\";
      bool all = listed(f);
      for (const wchar_t* g : kTreeFolders)
        all = all && (!StartsWithNoCase(g, prefix) || listed(g));
      for (const wchar_t* g : kTreeFiles)
        all = all && (!StartsWithNoCase(g, prefix) || listed(g));
      if (all && PathExists(folder_ + f))
        Fail("listed folder %s, listed with all it held, is still there", Printable(f).c_str());
    }
  }

  void CheckPendingRenames() {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
      return;  // nothing was recorded
    }
    DWORD type = 0;
    DWORD size = 0;
    const wchar_t* value = L"PendingFileRenameOperations";
    if (RegQueryValueExW(key.get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
    if (RegQueryValueExW(key.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS) {
      // Pairs of source and target; a deletion has an empty target.
      const wchar_t* p = data.data();
      bool source = true;
      while (p < data.data() + data.size() && (*p != 0 || !source)) {
        std::wstring entry = p;
        if (source && !entry.empty()) {
          std::wstring path = entry.compare(0, 4, L"\\??\\") == 0 ? entry.substr(4) : entry;
          if (!StartsWithNoCase(path, folder_))
            Fail("scheduled for deletion at restart outside the folder: %s",
                 Printable(entry).c_str());
        }
        p += entry.size() + 1;
        source = !source;
      }
    }
    // Start the next input with nothing pending (the prefix is the run's own).
    (void)RegDeleteValueW(key.get(), value);
  }

  std::wstring root_;
  std::wstring folder_;
  std::wstring cwd_;
  std::vector<UniqueFileHandle> held_;
  std::vector<Units> seeds_;
  std::vector<Units> dictionary_;
  bool linkAtStart_ = false;
  uint64_t inputsWithLink_ = 0;
  uint64_t linkRemovals_ = 0;
  uint64_t totalEntries_ = 0;
};

}  // namespace

std::unique_ptr<FuzzTarget> MakeFileListFuzz() {
  return std::make_unique<FileListFuzz>();
}
