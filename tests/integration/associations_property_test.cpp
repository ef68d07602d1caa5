// Random starting registries, random choices applied, applied again, changed, and finally
// removed with an all-zero record and the give-back of ".rev": afterwards every extension of
// the association table, ".rev" and every volume extension .r00 to .r99 must be exactly what it
// was at the start, or exactly what another program made of it meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/test_seams.h"
#include "integration/associations.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

constexpr wchar_t kRev[] = L".rev";

// What an extension key holds, as far as the archiver may touch it.
struct EntryState {
  int Kind = 0;  // 0 absent, 1 a class, 2 a class and ShellNew "FileName", 3 class and "NullFile"
  std::wstring Class;
  std::wstring ShellNewFile;
};

std::wstring Render(const EntryState& s) {
  if (s.Kind == 0)
    return L"absent";
  std::wstring text = L"default=" + s.Class;
  if (s.Kind == 2)
    text += L" ShellNew{FileName=" + s.ShellNewFile + L"}";
  if (s.Kind == 3)
    text += L" ShellNew{NullFile=}";
  return text;
}

std::wstring ValuesOf(HKEY key) {
  std::vector<std::wstring> lines;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    BYTE data[4096];
    DWORD size = sizeof(data) - 2;
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
      break;
    }
    data[size] = data[size + 1] = 0;
    std::wstring value = type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data))
                                        : L"<type " + std::to_wstring(type) + L">";
    lines.push_back(std::wstring(name, nameLength) + L"=" + value);
  }
  std::sort(lines.begin(), lines.end());
  std::wstring text;
  for (const auto& line : lines)
    text += (text.empty() ? L"" : L",") + line;
  return text;
}

// The same rendering, read from the registry, with anything unexpected spelled out.
std::wstring RenderActual(const std::wstring& extension) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return L"absent";
  }
  std::wstring text;
  wchar_t value[1024];
  DWORD size = sizeof(value) - 2;
  DWORD type = 0;
  if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
      ERROR_SUCCESS) {
    value[size / 2] = 0;
    text = L"default=" + std::wstring(value);
  } else {
    text = L"default missing";
  }
  DWORD valueCount = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, nullptr,
                   nullptr, nullptr, nullptr);
  if (valueCount > 1)
    text += L" values{" + ValuesOf(key) + L"}";
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0)
      break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      text += L" " + std::wstring(name) + L"{" + ValuesOf(sub) + L"}";
      RegCloseKey(sub);
    }
  }
  RegCloseKey(key);
  return text;
}

void WriteState(const std::wstring& extension, const EntryState& s) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, extension.c_str());
  if (s.Kind == 0)
    return;
  RegWriteString(HKEY_CLASSES_ROOT, extension.c_str(), nullptr, s.Class.c_str());
  const std::wstring shellNew = extension + L"\\ShellNew";
  if (s.Kind == 2)
    RegWriteString(HKEY_CLASSES_ROOT, shellNew.c_str(), L"FileName", s.ShellNewFile.c_str());
  if (s.Kind == 3)
    RegWriteString(HKEY_CLASSES_ROOT, shellNew.c_str(), L"NullFile", L"");
}

std::vector<std::wstring> TableExtensions() {
  std::vector<std::wstring> result;
  for (const AssociationRow& row : AssociationTable) {
    std::wstring list = row.Extensions;
    size_t start = 0;
    while (start < list.size()) {
      const size_t next = list.find(L'.', start + 1);
      result.push_back(list.substr(start, next - start));
      start = next == std::wstring::npos ? list.size() : next;
    }
  }
  return result;
}

int RowOf(const std::wstring& extension) {
  for (int row = 0; row < kAssociationRows; ++row) {
    std::wstring list = std::wstring(AssociationTable[row].Extensions) + L".";
    if (list.find(extension + L".") != std::wstring::npos)
      return row;
  }
  return -1;
}

class World {
 public:
  World(unsigned seed, const std::wstring& programFolder)
      : random_(seed), folder_(programFolder), extensions_(TableExtensions()) {
    for (int i = 0; i < 100; ++i) {
      wchar_t name[8];
      swprintf(name, 8, L".r%02d", i);
      volumes_.push_back(name);
    }
  }

  void Start() {
    bool ownFormatIsOurs = false;
    for (const std::wstring& e : extensions_) {
      const bool ours = Chance(25);
      EntryState prior = RandomState(false, L"Prior");
      expected_[e] = prior;
      if (!ours) {
        WriteState(e, prior);
        continue;
      }
      if (e == L".vlx")
        ownFormatIsOurs = true;
      StartAsOurs(e, prior, e == L".vlx" || e == L".zip");
    }
    StartRev();
    for (size_t i = 0; i < volumes_.size(); ++i) {
      EntryState prior = RandomState(true, L"PriorVolume");
      expected_[volumes_[i]] = prior;
      if (ownFormatIsOurs && i < 30) {
        RegWriteString(HKEY_CLASSES_ROOT, volumes_[i].c_str(), nullptr, L"Vellox");
        WriteBackup(volumes_[i], prior, false);
      } else {
        WriteState(volumes_[i], prior);
      }
    }
  }

  IntegrationOptions RandomChoices() {
    IntegrationOptions options;
    memset(&options, 0, sizeof(options));
    for (int row = 0; row < 20; ++row)
      options.Associations[row] = Chance(50);
    options.ShellExt = Chance(60);
    RandomMenuItem(L"NewVLX");
    RandomMenuItem(L"NewZIP");
    return options;
  }

  IntegrationOptions Changed(IntegrationOptions options) {
    for (int row = 0; row < kAssociationRows; ++row) {
      options.Associations[row] = options.Associations[row] ? Chance(50) : Chance(20);
    }
    options.ShellExt = Chance(50);
    RandomMenuItem(L"NewVLX");
    RandomMenuItem(L"NewZIP");
    return options;
  }

  // Another program takes up to two extensions over (or removes them).
  void Intruders() {
    const int count = static_cast<int>(random_() % 3);
    for (int n = 0; n < count; ++n) {
      const bool volume = Chance(30);
      const std::wstring e = volume       ? volumes_[random_() % volumes_.size()]
                             : Chance(10) ? std::wstring(kRev)
                                          : extensions_[random_() % extensions_.size()];
      EntryState state = RandomState(volume, L"Intruder");
      WriteState(e, state);
      expected_[e] = state;
    }
  }

  // Empty when everything is as expected; otherwise the differences.
  std::wstring Differences() const {
    std::wstring report;
    for (const auto& entry : expected_) {
      const std::wstring want = Render(entry.second);
      const std::wstring have = RenderActual(entry.first);
      if (want != have)
        report += entry.first + L": want [" + want + L"] have [" + have + L"]\n";
    }
    // Nothing else may be left in HKEY_CLASSES_ROOT.
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD length = 256;
      if (RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr, nullptr)) {
        break;
      }
      if (expected_.count(name) == 0)
        report += std::wstring(L"stray key ") + name + L"\n";
    }
    return report;
  }

 private:
  bool Chance(unsigned percent) { return random_() % 100 < percent; }

  EntryState RandomState(bool volume, const wchar_t* prefix) {
    EntryState s;
    const unsigned pick = random_() % 100;
    if (volume) {
      s.Kind = pick < 75 ? 0 : 1;
    } else {
      s.Kind = pick < 30 ? 0 : pick < 60 ? 1 : pick < 80 ? 2 : 3;
    }
    s.Class = std::wstring(prefix) + L".Class" + std::to_wstring(random_() % 1000);
    s.ShellNewFile = L"C:\\Other\\" + std::wstring(prefix) + std::to_wstring(random_() % 1000);
    return s;
  }

  void RandomMenuItem(const wchar_t* name) {
    const unsigned pick = random_() % 3;
    const wchar_t* key = L"Software\\Vellox\\Setup\\MenuItems";
    if (pick == 2) {
      HKEY k = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
        RegDeleteValueW(k, name);
        RegCloseKey(k);
      }
    } else {
      RegWriteDword(HKEY_CURRENT_USER, key, name, pick);
    }
  }

  static void WriteBackup(const std::wstring& extension, const EntryState& prior, bool shellNew) {
    const std::wstring key = L"Software\\Vellox\\Setup\\" + extension;
    RegWriteDword(HKEY_CURRENT_USER, key.c_str(), L"Exist", prior.Kind != 0 ? 1 : 0);
    RegWriteString(HKEY_CURRENT_USER, key.c_str(), L"Type",
                   prior.Kind != 0 ? prior.Class.c_str() : L"");
    if (!shellNew)
      return;
    const wchar_t* entry = prior.Kind == 2   ? prior.ShellNewFile.c_str()
                           : prior.Kind == 3 ? L"*"
                                             : L"";
    RegWriteString(HKEY_CURRENT_USER, key.c_str(), L"ShellNew", entry);
  }

  // The extension as an earlier installation of the archiver left it over the prior state.
  void StartAsOurs(const std::wstring& e, const EntryState& prior, bool withTemplate) {
    EntryState current = prior;
    const int row = RowOf(e);
    current.Kind = prior.Kind == 0 ? 1 : prior.Kind;
    current.Class = row == 1 ? L"Vellox.ZIP" : (Chance(50) ? L"Vellox" : L"VELLOX");
    if (prior.Kind == 0)
      current.Kind = 1;
    if (withTemplate && Chance(50)) {
      current.Kind = 2;
      current.ShellNewFile = folder_ + (row == 0 ? L"\\vlxnew.dat" : L"\\zipnew.dat");
    }
    WriteState(e, current);
    WriteBackup(e, prior, true);
  }

  // ".rev": another program's, or taken by an earlier installation, with its backup or (when it
  // was absent before) without one.
  void StartRev() {
    const EntryState prior = RandomState(false, L"PriorRev");
    expected_[kRev] = prior;
    const unsigned pick = random_() % 4;
    if (pick == 1 && prior.Kind == 0) {
      WriteState(kRev, {1, L"VELLOX.REV", L""});
      return;
    }
    if (pick != 0) {
      WriteState(kRev, prior);
      return;
    }
    EntryState current = prior;
    current.Kind = prior.Kind == 0 ? 1 : prior.Kind;
    current.Class = Chance(50) ? L"Vellox.REV" : L"vellox.rev";
    WriteState(kRev, current);
    WriteBackup(kRev, prior, false);
  }

  std::mt19937 random_;
  std::wstring folder_;
  std::vector<std::wstring> extensions_;
  std::vector<std::wstring> volumes_;
  std::map<std::wstring, EntryState> expected_;
};

std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text)
    result += c < 128 ? static_cast<char>(c) : '?';
  return result;
}

TEST(AssociationsProperty, EverythingIsGivenBackExactly) {
  ScratchFolder scratch;
  SetProgramPathForTesting(scratch.Join(L"uninstall.exe").c_str());
  unsigned seeds = 300;
  unsigned first = 1;
  if (const char* count = getenv("VLX_PROPERTY_SEEDS"))
    seeds = strtoul(count, nullptr, 10);
  if (const char* seed = getenv("VLX_PROPERTY_FIRST_SEED"))
    first = strtoul(seed, nullptr, 10);
  for (unsigned seed = first; seed < first + seeds; ++seed) {
    RegistrySandbox sandbox;
    World world(seed, scratch.Path());
    world.Start();
    const IntegrationOptions choices = world.RandomChoices();
    world.Intruders();
    AssociateAll(choices);
    // As a setup applies them: the associations, then the class keys with ".rev". Once is
    // enough (the registration is slow under Wine): a ".rev" that is ours at the start stands
    // for an earlier setup, and the intruders for every owner that comes or goes around it.
    EXPECT_TRUE(RegisterProgIds());
    world.Intruders();
    AssociateAll(choices);
    const IntegrationOptions changed = world.Changed(choices);
    world.Intruders();
    AssociateAll(changed);
    world.Intruders();
    IntegrationOptions none;
    memset(&none, 0, sizeof(none));
    AssociateAll(none);
    ReleaseRevAssociation();
    for (const wchar_t* classKey : {L"Vellox", L"Vellox.ZIP", L"Vellox.REV"})
      RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey);
    const std::wstring differences = world.Differences();
    if (!differences.empty()) {
      ADD_FAILURE() << "seed " << seed << " (rerun with VLX_PROPERTY_FIRST_SEED=" << seed
                    << " VLX_PROPERTY_SEEDS=1):\n"
                    << Narrow(differences);
      break;
    }
  }
  SetProgramPathForTesting(nullptr);
}

}  // namespace
