#pragma once
// Runs one fuzz target over a range of iterations in this process, and turns every way an
// input can go wrong into a report naming the parser, the seed and the iteration:
//   FAIL   a property check did not hold (the run goes on; the exit code is 1);
//   CRASH  an exception escaped the product's code (exit code 1), or the process took a fault
//          (reported by the unhandled-exception filter, exit code 3);
//   HANG   one input ran past its time limit (reported by a watchdog thread, exit code 4).
// The last line of a run is "RESULT <parser> seed <s> first <k> inputs <n> failures <f> ms <t>".

#include <cstdint>
#include <string>

#include "fuzz/fuzz_random.h"

struct FuzzOptions {
  uint64_t Seed = 0;
  uint64_t First = 0;        // first iteration
  uint64_t Count = 0;        // inputs to run
  std::wstring Scratch;      // a folder of this parser's own, emptied by the script
  std::wstring Samples;      // the repository's samples folder
  unsigned LimitMs = 10000;  // time limit of one input, before any allowance
};

class FuzzTarget {
 public:
  virtual ~FuzzTarget() = default;
  virtual const char* Name() const = 0;
  virtual uint32_t Number() const = 0;  // mixed into every input's seed
  // Once, before the first input. False (with a reason) means the set-up failed: no input runs.
  virtual bool Prepare(const FuzzOptions& options, std::string& error) = 0;
  // Makes input number iteration from random and runs it; broken properties go to Fail().
  virtual void RunOne(uint64_t iteration, FuzzRandom& random) = 0;
  // Once, after the last input: checks that need the whole run, and clean-up.
  virtual void Finish() {}
};

// Records a broken property of the current input (printf-style, narrow text).
void Fail(const char* format, ...);
// The current input may take this much longer than the limit (a designed pause).
void AllowExtraTime(unsigned milliseconds);
// Narrow form of a wide text for reports (non-ASCII units as \uXXXX).
std::string Printable(const std::wstring& text, size_t limit = 120);

int RunFuzzTarget(FuzzTarget& target, const FuzzOptions& options);
