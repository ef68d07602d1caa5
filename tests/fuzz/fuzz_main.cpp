// The fuzz program: runs one parser's fuzz target over a range of iterations.
//   vlx_fuzz --parser lng8|lng16|ini|lst|cmd --seed N --first K --count C
//            --scratch <folder> --samples <repository samples folder> [--limit-ms M]
// Exit code: 0 when every input kept every property, 1 on failures or escaped exceptions,
// 2 on a bad command line or set-up, 3 on a fault, 4 on a hang (see fuzz_harness.h).
// Started by scripts/fuzz.sh, which prepares the scratch folder and a Wine prefix of its own.
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "fuzz/fuzz_harness.h"
#include "fuzz/fuzz_targets.h"

namespace {

std::unique_ptr<FuzzTarget> TargetNamed(const std::wstring& name) {
  if (name == L"lng8")
    return MakeLanguageFileFuzz(false);
  if (name == L"lng16")
    return MakeLanguageFileFuzz(true);
  if (name == L"ini")
    return MakeSettingsFileFuzz();
  if (name == L"lst")
    return MakeFileListFuzz();
  if (name == L"cmd")
    return MakeSwitchesFuzz();
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  FuzzOptions options;
  std::wstring parser;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring option = argv[i];
    const wchar_t* value = argv[i + 1];
    if (option == L"--parser") {
      parser = value;
    } else if (option == L"--seed") {
      options.Seed = std::wcstoull(value, nullptr, 10);
    } else if (option == L"--first") {
      options.First = std::wcstoull(value, nullptr, 10);
    } else if (option == L"--count") {
      options.Count = std::wcstoull(value, nullptr, 10);
    } else if (option == L"--scratch") {
      options.Scratch = value;
    } else if (option == L"--samples") {
      options.Samples = value;
    } else if (option == L"--limit-ms") {
      options.LimitMs = static_cast<unsigned>(std::wcstoul(value, nullptr, 10));
    } else {
      std::fprintf(stderr, "unknown option %ls\n", option.c_str());
      return 2;
    }
  }
  std::unique_ptr<FuzzTarget> target = TargetNamed(parser);
  if (!target || options.Scratch.empty() || options.Samples.empty() || argc % 2 == 0) {
    std::fprintf(stderr,
                 "usage: vlx_fuzz --parser lng8|lng16|ini|lst|cmd --seed N --first K "
                 "--count C --scratch DIR --samples DIR [--limit-ms M]\n");
    return 2;
  }
  return RunFuzzTarget(*target, options);
}
