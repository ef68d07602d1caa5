// Fuzzing the switches: each input is an "sfxcmd" text and a command line, run through both
// switch passes in the order start-up runs them. The expected outcome comes from a model of
// the documented switch rules over the same arguments (split with the command-line splitter):
// the silent switch in either pass, the words of the command-line pass in their order of
// precedence, the /init text cut to 39 units, the setup and uninstall requests, and one removal
// warning per /warning (answered through the message-box seam, so nothing is shown).
// /wait pauses two seconds by design: one input in 20,000 ends with it (its time limit grows by
// the pause); in every other input a /wait that a mutation made is turned into another word
// before the run.
#include <windows.h>

#include <string>
#include <vector>

#include "app/switches.h"
#include "common/command_line.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "fuzz/fuzz_harness.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/mutator.h"
#include "lang/messages.h"

namespace {

constexpr size_t kArgumentCapacity = 1024;
constexpr unsigned kWaitMs = 2000;
constexpr uint64_t kWaitEvery = 20000;  // iterations between inputs that may pause

struct Outcome {
  bool Silent = false;
  bool Msi = false;
  bool NoExplorer = false;
  bool PerUser = false;
  std::wstring InitText;
  std::wstring LogPath;
  bool Setup = false;
  bool Uninstall = false;
  int Warnings = 0;
  int Waits = 0;
};

// The arguments, each cut to capacity - 1 units (the switches' own buffer by default).
std::vector<std::wstring> Arguments(const std::wstring& text, size_t capacity = kArgumentCapacity) {
  std::vector<std::wstring> args;
  std::vector<wchar_t> argument(capacity);
  const wchar_t* pos = text.c_str();
  while ((pos = NextArgument(pos, argument.data(), capacity)) != nullptr)
    args.emplace_back(argument.data());
  return args;
}

bool IsLog(const std::wstring& a) {
  return CompareNoCasePrefix(a.c_str() + 1, L"log", 3) == 0 && (a.size() == 4 || a[4] == L'=');
}

bool IsSilent(const std::wstring& a) {
  return a.size() >= 2 && UpperChar(a[1]) == L'S' && !IsAsciiLetter(a.size() > 2 ? a[2] : 0);
}

bool Begins(const std::wstring& a, const wchar_t* word, size_t n) {
  return CompareNoCasePrefix(a.c_str() + 1, word, n) == 0;
}

// The documented rules. The command line's first argument is the program's own path.
Outcome Expected(const std::wstring& sfx, const std::wstring& commandLine) {
  Outcome o;
  for (const std::wstring& a : Arguments(sfx)) {
    if ((a[0] == L'/' || a[0] == L'-') && IsSilent(a))
      o.Silent = true;
  }
  std::vector<std::wstring> args = Arguments(commandLine);
  // A log path is read whole, up to the path buffer; a longer one names no log.
  std::vector<std::wstring> whole = Arguments(commandLine, kPathBufferCapacity + 8);
  int counted = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    if (a[0] != L'/' && a[0] != L'-')
      continue;
    if (IsSilent(a)) {
      o.Silent = true;
      continue;
    }
    if (IsLog(a)) {
      std::wstring path;
      if (a.size() > 4)
        path = whole[i].substr(5);
      else if (i + 1 < args.size() && whole[i + 1][0] != L'/')
        path = whole[++i];  // a word beginning with '/' stays a switch
      if (!path.empty() && path.size() < kPathBufferCapacity - 1)
        o.LogPath = path;
      continue;  // not counted: the uninstall request stays
    }
    if (a.size() == 5 && Begins(a, L"user", 4)) {
      o.PerUser = true;
      continue;  // not counted either
    }
    ++counted;
    if (Begins(a, L"setup", 5)) {
      o.Setup = true;
    } else if (Begins(a, L"msi", 3)) {
      o.Msi = true;
    } else if (Begins(a, L"init", 4)) {
      o.InitText = a.substr(5, 39);
    } else if (Begins(a, L"wait", 4)) {
      ++o.Waits;
    } else if (Begins(a, L"noexplorer", 4)) {
      o.NoExplorer = true;
    } else if (Begins(a, L"warning", 7)) {
      ++o.Warnings;
    }
  }
  o.Uninstall = counted == 0;
  return o;
}

class SwitchesFuzz : public FuzzTarget {
 public:
  const char* Name() const override { return "cmd"; }
  uint32_t Number() const override { return 5; }

  bool Prepare(const FuzzOptions&, std::string&) override {
    // Message texts of the removal warning come from the linked string table.
    OwnInstance = GetModuleHandleW(nullptr);
    ResourceModule = OwnInstance;
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    program_ = L"\"" + std::wstring(self, n) + L"\"";
    for (const std::string& t : CommonTokens())
      dictionary_.push_back(WideToUnits(std::wstring(t.begin(), t.end())));
    for (const wchar_t* t : kWords)
      dictionary_.push_back(WideToUnits(t));
    return true;
  }

  void RunOne(uint64_t iteration, FuzzRandom& random) override {
    bool mayWait = iteration % kWaitEvery == 1;
    std::wstring sfx = Generate(random);
    std::wstring line = Generate(random);
    MutationSettings settings{0xFFFF, 8192, 1500, &dictionary_, nullptr};
    if (!random.OneIn(5)) {
      Units units = WideToUnits(line);
      Mutate(units, random, settings, MutationRounds(random));
      line.assign(units.begin(), units.end());
    }
    if (random.OneIn(2)) {
      Units units = WideToUnits(sfx);
      Mutate(units, random, settings, MutationRounds(random));
      sfx.assign(units.begin(), units.end());
    }
    if (mayWait)
      line = std::wstring(line.c_str()) + L" /wait";  // behind the mutations and any NUL
    // Texts end at their first NUL, as they would in the environment and the command line.
    sfx = sfx.c_str();
    std::wstring commandLine = (program_ + L" " + line).c_str();
    Outcome expected = Expected(sfx, commandLine);
    if (expected.Waits > (mayWait ? 1 : 0)) {
      // No pause here: every w behind the program's path becomes v, so no argument can
      // begin with "wait".
      for (size_t i = program_.size(); i < commandLine.size(); ++i) {
        if (commandLine[i] == L'w' || commandLine[i] == L'W')
          commandLine[i] = static_cast<wchar_t>(commandLine[i] - 1);
      }
      expected = Expected(sfx, commandLine);
    }
    AllowExtraTime(kWaitMs * static_cast<unsigned>(expected.Waits));
    waits_ += static_cast<uint64_t>(expected.Waits);

    SetupFlags.Silent = SetupFlags.Msi = SetupFlags.NoExplorer = SetupFlags.PerUser = false;
    SetupFlags.InitText[0] = 0;
    SetupFlags.LogPath[0] = 0;
    SetMessageBoxAnswerForTesting(IDOK);
    bool setup = false;
    bool uninstall = true;
    ParseSwitches(SwitchPass::Environment, sfx.c_str(), setup, uninstall);
    if (setup || uninstall)
      Fail("the sfxcmd pass left setup %d, uninstall %d", setup, uninstall);
    ParseSwitches(SwitchPass::CommandLine, commandLine.c_str(), setup, uninstall);
    int boxes = MessageBoxCountForTesting();
    SetMessageBoxAnswerForTesting(0);

    std::wstring init = SetupFlags.InitText;
    if (SetupFlags.Silent != expected.Silent || SetupFlags.Msi != expected.Msi ||
        SetupFlags.NoExplorer != expected.NoExplorer || SetupFlags.PerUser != expected.PerUser ||
        init != expected.InitText || std::wstring(SetupFlags.LogPath) != expected.LogPath ||
        setup != expected.Setup || uninstall != expected.Uninstall || boxes != expected.Warnings) {
      Fail(
          "sfxcmd [%s] command line [%s]: got silent %d msi %d noexplorer %d user %d init \"%s\" "
          "setup %d uninstall %d warnings %d; expected %d %d %d %d \"%s\" %d %d %d",
          Printable(sfx).c_str(), Printable(commandLine).c_str(), SetupFlags.Silent, SetupFlags.Msi,
          SetupFlags.NoExplorer, SetupFlags.PerUser, Printable(init).c_str(), setup, uninstall,
          boxes, expected.Silent, expected.Msi, expected.NoExplorer, expected.PerUser,
          Printable(expected.InitText).c_str(), expected.Setup, expected.Uninstall,
          expected.Warnings);
    }
  }

  void Finish() override {
    std::printf("cmd: %llu designed /wait pauses of two seconds\n",
                static_cast<unsigned long long>(waits_));
  }

 private:
  static constexpr const wchar_t* kWords[] = {L"/setup",
                                              L"-Setup",
                                              L"/SETUPX",
                                              L"/s",
                                              L"-S",
                                              L"/s1",
                                              L"/s-",
                                              L"/S=",
                                              L"/silent",
                                              L"/msi",
                                              L"-MSI2",
                                              L"/initA1100D1",
                                              L"/initA111111111111111111D1M1P1S1C1I1xxxxxxxxxx",
                                              L"/init",
                                              L"/noex",
                                              L"/noexplorer",
                                              L"/noe",
                                              L"/warning",
                                              L"/warn",
                                              L"/foo",
                                              L"/log",
                                              L"-LOG=C:\\v.log",
                                              L"/log=",
                                              L"/logs",
                                              L"/user",
                                              L"-USER",
                                              L"/users",
                                              L"\"/log=C:\\a b\\v.log\"",
                                              L"/",
                                              L"-",
                                              L"setup",
                                              L"\"/setup\"",
                                              L"\"/s\"",
                                              L"\"a b\"",
                                              L"\"\"",
                                              L"\"\"\"",
                                              L"\\\"",
                                              L"/\u017F",
                                              L"/\u0131nit",
                                              L"/\uFF53",
                                              L"-s\u00E9"};

  std::wstring Generate(FuzzRandom& random) {
    std::wstring text;
    for (size_t i = random.Below(6); i > 0; --i) {
      text += random.Pick(kWords);
      text += random.OneIn(5) ? L"\t" : L" ";
    }
    if (random.OneIn(30))
      text += L"/init" + std::wstring(random.Between(30, 1100), L'A');
    return text;
  }

  std::wstring program_;
  std::vector<Units> dictionary_;
  uint64_t waits_ = 0;
};

}  // namespace

std::unique_ptr<FuzzTarget> MakeSwitchesFuzz() {
  return std::make_unique<SwitchesFuzz>();
}
